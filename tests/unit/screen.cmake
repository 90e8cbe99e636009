# Canvas drawing and the in-memory screen: pure pixel logic, no display.
add_executable(screen_unit_test
  screen/canvas_test.cpp
  screen/memory_screen_test.cpp
)
target_link_libraries(screen_unit_test PRIVATE vistrel_platform_screen GTest::gtest_main)
vistrel_add_test(screen_unit_test LABELS unit TIMEOUT 120)
