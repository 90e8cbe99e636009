# Canvas drawing and the in-memory screen: pure pixel logic, no display.
add_executable(screen_unit_test
  screen/canvas_test.cpp
  screen/memory_screen_test.cpp
)
target_link_libraries(screen_unit_test PRIVATE vistrel_platform_screen GTest::gtest_main)
vistrel_add_test(screen_unit_test LABELS unit TIMEOUT 120)

# The Wayland screen over a real PipeWire daemon that the test starts itself,
# with a video source of its own in the compositor's place.
add_executable(pipewire_screen_test screen/pipewire_screen_test.cpp)
target_link_libraries(pipewire_screen_test PRIVATE vistrel_platform_screen PkgConfig::VISTREL_PIPEWIRE GTest::gtest)
add_test(NAME pipewire_screen_test COMMAND dbus-run-session -- $<TARGET_FILE:pipewire_screen_test>)
set_tests_properties(pipewire_screen_test PROPERTIES LABELS wayland TIMEOUT 120)
