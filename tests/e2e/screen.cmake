# The harness checked on itself, and the X11 screen's capture on a real server.
include(${CMAKE_CURRENT_LIST_DIR}/harness.cmake)

vistrel_add_e2e_test(e2e_harness_selftest
  COMMAND ${VISTREL_E2E_PYTHON} ${VISTREL_E2E_DIR}/harness_selftest.py)

add_executable(e2e_screen_capture screen_capture_test.cpp)
target_link_libraries(e2e_screen_capture PRIVATE vistrel_platform_screen Qt6::Gui GTest::gtest)
# The two-monitor case runs on its own desktop (desktops.cmake).
vistrel_add_e2e_test(e2e_screen_capture COMMAND $<TARGET_FILE:e2e_screen_capture> --gtest_filter=-TwoMonitors.*)
