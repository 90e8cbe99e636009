# The 24-bit bitmap, and the row splitter that runs the per-pixel stages
# over pictures on two cores.
add_library(vistrel_platform_bitmap STATIC
  Bitmap24.cpp
  RowSplit.cpp
  PixelRows.cpp
  LargeMemory_linux.cpp
)
target_include_directories(vistrel_platform_bitmap PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vistrel_platform_bitmap PUBLIC Qt6::Gui Threads::Threads)
