# Platform seams: unit tests beside the code, on real files.
add_executable(platform_test ${PROJECT_SOURCE_DIR}/platform/file_test.cpp
  ${PROJECT_SOURCE_DIR}/platform/help_test.cpp)
target_link_libraries(platform_test PRIVATE locanym_testsupport GTest::gtest_main)
gtest_discover_tests(platform_test)
