add_library(vistrel_platform_core STATIC
  Component.cpp
  Application.cpp
)
target_include_directories(vistrel_platform_core PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vistrel_platform_core PUBLIC Qt6::Core Threads::Threads)
