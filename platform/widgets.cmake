# Forms, controls, message boxes, help and the program's Qt set-up.
add_library(vistrel_platform_widgets STATIC
  Accessibility.cpp
  AtSpiGuard_linux.cpp
  Controls.cpp
  FontResolution.cpp
  Forms.cpp
  HelpEngine.cpp
  MessageBox.cpp
  QtSetup.cpp
  WindowHints_x11.cpp
)
target_include_directories(vistrel_platform_widgets PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(vistrel_platform_widgets PRIVATE
  VISTREL_DATA_DIR="${CMAKE_INSTALL_FULL_DATADIR}/vistrel")
# The accessibility bus, to guard Qt's bridge on it (AtSpiGuard.h).
find_package(Qt6 REQUIRED COMPONENTS DBus)
target_link_libraries(vistrel_platform_widgets PUBLIC
  vistrel_platform_core vistrel_platform_screen Qt6::Widgets)
target_link_libraries(vistrel_platform_widgets PRIVATE Qt6::DBus)
# The window-manager hints Qt has no call for go straight to the X server.
if(VISTREL_XCB_FOUND)
  target_link_libraries(vistrel_platform_widgets PRIVATE PkgConfig::VISTREL_XCB)
else()
  target_link_libraries(vistrel_platform_widgets PRIVATE ${VISTREL_XCB_LIB})
endif()
