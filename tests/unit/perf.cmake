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

# Repeated frames and frames split over two threads on the whole lens window
# (Qt offscreen, in-memory screen).
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(gui_perf_repeated_frame
  perf/repeated_frame_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/../gui/lens/LensFixture.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/../gui/lens/gui_main.cpp
)
target_link_libraries(gui_perf_repeated_frame PRIVATE vistrel_forms Qt6::Test GTest::gtest)
vistrel_add_test(gui_perf_repeated_frame LABELS gui tsan ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)

# The stages split over two threads against the plain definitions, and the
# split itself; under ThreadSanitizer too.
add_executable(unit_perf_split perf/split_test.cpp)
target_link_libraries(unit_perf_split PRIVATE vistrel_pixels vistrel_platform_screen GTest::gtest_main)
vistrel_add_test(unit_perf_split LABELS unit tsan TIMEOUT 300)
