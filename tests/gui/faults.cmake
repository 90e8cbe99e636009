# Faults met by a lens that runs all day, on the lens tests' fixture: failing
# captures (also under a dialog), the cursor far off every screen, the screen
# changing size, close requests arriving inside a frame.
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(gui_faults
  lens/gui_main.cpp
  lens/LensFixture.cpp
  faults/faults_test.cpp
)
target_link_libraries(gui_faults PRIVATE vistrel_forms Qt6::Test GTest::gtest)
vistrel_add_test(gui_faults LABELS "gui;tsan" ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 600)
