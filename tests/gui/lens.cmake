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
  lens/font_resolution_test.cpp
)
target_link_libraries(gui_lens PRIVATE vistrel_forms Qt6::Test GTest::gtest)
vistrel_add_test(gui_lens LABELS "gui;tsan" ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 600)

# The layouts on offscreen screens whose logical resolution the desktop would
# set: read from the screen, with Qt's style drawing its own parts to match.
foreach(dpi 120 144 192)
  set(config ${CMAKE_CURRENT_BINARY_DIR}/offscreen_${dpi}dpi.json)
  file(WRITE ${config} "{\"screens\": [{\"name\": \"offscreen\", \"x\": 0, \"y\": 0, \"width\": 1920, \"height\": 1080, \"logicalDpi\": ${dpi}, \"logicalBaseDpi\": 96, \"dpr\": 1}]}\n")
  add_test(NAME gui_lens_font_resolution_${dpi}
           COMMAND gui_lens "--gtest_filter=FontResolution.*:Desktops/FontResolutionLayout.*/dpi${dpi}")
  set_tests_properties(gui_lens_font_resolution_${dpi} PROPERTIES LABELS gui TIMEOUT 120
                       ENVIRONMENT "QT_QPA_PLATFORM=offscreen:configfile=${config}")
endforeach()
