# Drawing on pictures and the screen as a capture source: the in-memory screen
# for tests and the X11 screen (MIT-SHM through xcb-shm, Qt's grab as fallback;
# X Damage, through xcb-damage, tells it when the screen under the lens is
# unchanged; X RECORD, through xcb-record, when the pointer is still).
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(VISTREL_XCB IMPORTED_TARGET xcb xcb-shm xcb-damage xcb-record)
  pkg_check_modules(VISTREL_PIPEWIRE REQUIRED IMPORTED_TARGET GLOBAL libpipewire-0.3)
endif()
find_package(Qt6 REQUIRED COMPONENTS DBus)

add_library(vistrel_platform_screen STATIC
  Canvas.cpp
  CaptureRows.cpp
  Screen.cpp
  MemoryScreen.cpp
  ScreenX11.cpp
  PointerWatchX11.cpp
  SharedPictureX11.cpp
  DesktopSession.cpp
  SystemScreen.cpp
)
# Wayland desktops: the screencast sessions (the desktop portal, mutter's own
# interface) over D-Bus, and their frames over PipeWire.
target_sources(vistrel_platform_screen PRIVATE
  Screencast.cpp ScreencastDBus.cpp ScreencastMutter.cpp ScreencastPortal.cpp ScreenPipeWire.cpp)
set_target_properties(vistrel_platform_screen PROPERTIES AUTOMOC ON)
target_link_libraries(vistrel_platform_screen PRIVATE Qt6::DBus PkgConfig::VISTREL_PIPEWIRE)
target_include_directories(vistrel_platform_screen PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vistrel_platform_screen PUBLIC vistrel_platform_bitmap Qt6::Gui)
if(VISTREL_XCB_FOUND)
  target_link_libraries(vistrel_platform_screen PRIVATE PkgConfig::VISTREL_XCB)
else()
  find_library(VISTREL_XCB_LIB xcb REQUIRED)
  find_library(VISTREL_XCB_SHM_LIB xcb-shm REQUIRED)
  find_library(VISTREL_XCB_DAMAGE_LIB xcb-damage REQUIRED)
  find_library(VISTREL_XCB_RECORD_LIB xcb-record REQUIRED)
  target_link_libraries(vistrel_platform_screen PRIVATE ${VISTREL_XCB_RECORD_LIB} ${VISTREL_XCB_DAMAGE_LIB}
                                                        ${VISTREL_XCB_SHM_LIB} ${VISTREL_XCB_LIB})
endif()
