# The animation timer's delivered tick period and the CPU its idle ticking costs.
add_executable(bench_tick bench_tick.cpp)
target_link_libraries(bench_tick PRIVATE vistrel_animtimer)
set_target_properties(bench_tick PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
