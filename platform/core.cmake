add_library(vistrel_platform_core STATIC
  Component.cpp
  Application.cpp
  Palette.cpp
  HiddenWindow.cpp
  Sync.cpp
  ThreadQueue.cpp
)
# The Linux implementations of the system seams (Clock.h, SystemError.h,
# Threads.h, TimerResolution.h, InputIdle.h); the README says what a port
# to another system adds behind each.
target_sources(vistrel_platform_core PRIVATE
  Clock_linux.cpp SystemError_linux.cpp Threads_linux.cpp TimerResolution_linux.cpp InputIdle_linux.cpp)
target_include_directories(vistrel_platform_core PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vistrel_platform_core PUBLIC Qt6::Core Threads::Threads)
