# The whole lens frame and its stages at screens 1024, 1920 and 3840, every
# zoom and colour mode; cpu_share.sh measures the running program's CPU.
add_executable(bench_frame bench_frame.cpp)
target_link_libraries(bench_frame PRIVATE vistrel_forms)
