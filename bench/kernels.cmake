# The pixel kernels per frame at the sizes of zoom 2 on 409, 768 and 1536
# displays, and the smoothing at those display sizes.
add_executable(bench_kernels bench_kernels.cpp)
target_link_libraries(bench_kernels PRIVATE vistrel_pixels benchmark::benchmark)
