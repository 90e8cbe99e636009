# Forms, controls, handlers, dialog flows and whole frames on Qt's offscreen
# platform with an in-memory screen.
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(gui_lens
  lens/gui_main.cpp
  lens/LensFixture.cpp
  lens/lens_window_test.cpp
  lens/frame_test.cpp
  lens/dialogs_test.cpp
  lens/accessibility_test.cpp
)
target_link_libraries(gui_lens PRIVATE vistrel_forms Qt6::Test GTest::gtest)
vistrel_add_test(gui_lens LABELS "gui;tsan" ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 600)
