# The fast paths of the frame (per-colour cache, smoothing) against the plain
# definitions they replace.
add_executable(unit_perf
  perf/colour_cache_test.cpp
  perf/smooth_fast_test.cpp
  perf/stretch_fast_test.cpp
)
target_link_libraries(unit_perf PRIVATE vistrel_pixels vistrel_platform_screen GTest::gtest_main)
vistrel_add_test(unit_perf LABELS unit TIMEOUT 300)

# Every 24-bit colour through the per-colour cache.
add_executable(unit_perf_exhaustive perf/colour_cache_exhaustive_test.cpp)
target_link_libraries(unit_perf_exhaustive PRIVATE vistrel_pixels GTest::gtest_main)
vistrel_add_test(unit_perf_exhaustive LABELS unit slow TIMEOUT 600)
