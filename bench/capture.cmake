# Screen capture: the MIT-SHM path against Qt's grab, on the running display.
add_executable(bench_capture bench_capture.cpp)
target_link_libraries(bench_capture PRIVATE vistrel_platform_screen Qt6::Gui)
