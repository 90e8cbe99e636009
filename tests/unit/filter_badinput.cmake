# vistrel-filter refusing bad input (corrupt, truncated, huge, empty pictures;
# unknown options) through the real binary.
add_executable(unit_filter_badinput filter_badinput/filter_badinput_test.cpp)
target_link_libraries(unit_filter_badinput PRIVATE Qt6::Gui GTest::gtest_main)
target_compile_definitions(unit_filter_badinput PRIVATE VISTREL_FILTER_PATH="$<TARGET_FILE:vistrel-filter>")
add_dependencies(unit_filter_badinput vistrel-filter)
vistrel_add_test(unit_filter_badinput LABELS unit TIMEOUT 300)
