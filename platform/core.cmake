add_library(vistrel_platform_core STATIC
  Component.cpp
  Application.cpp
  Palette.cpp
  HiddenWindow.cpp
  Sync.cpp
  ThreadQueue.cpp
)
# Linux implementations; a Windows build would pick the *_win.cpp files.
if(WIN32)
  target_sources(vistrel_platform_core PRIVATE
    Clock_win.cpp SystemError_win.cpp Threads_win.cpp TimerResolution_win.cpp InputIdle_win.cpp)
else()
  target_sources(vistrel_platform_core PRIVATE
    Clock_linux.cpp SystemError_linux.cpp Threads_linux.cpp TimerResolution_linux.cpp InputIdle_linux.cpp)
endif()
target_include_directories(vistrel_platform_core PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vistrel_platform_core PUBLIC Qt6::Core Threads::Threads)
