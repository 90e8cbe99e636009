# The pixel core (bitmap, colour vision, hue curve, frame kernels, smoothing)
# and vistrel-filter.
add_executable(unit_pixels
  pixels/bitmap_test.cpp
  pixels/hue_curve_test.cpp
  pixels/colour_vision_test.cpp
  pixels/frame_kernels_test.cpp
  pixels/smooth_test.cpp
)
target_link_libraries(unit_pixels PRIVATE vistrel_pixels GTest::gtest_main)
vistrel_add_test(unit_pixels LABELS unit TIMEOUT 300)

# Every 24-bit colour through HSI and back.
add_executable(unit_pixels_exhaustive pixels/round_trip_test.cpp)
target_link_libraries(unit_pixels_exhaustive PRIVATE vistrel_pixels GTest::gtest_main)
vistrel_add_test(unit_pixels_exhaustive LABELS unit slow TIMEOUT 900)

add_executable(unit_filter pixels/filter_test.cpp pixels/filter_cli_test.cpp)
target_link_libraries(unit_filter PRIVATE vistrel_filter_core GTest::gtest_main)
target_compile_definitions(unit_filter PRIVATE VISTREL_FILTER_PATH="$<TARGET_FILE:vistrel-filter>")
add_dependencies(unit_filter vistrel-filter)
vistrel_add_test(unit_filter LABELS unit TIMEOUT 300)
