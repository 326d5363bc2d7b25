# Metadata reader: unit tests beside the code (photos through the module: host_caption_test).
add_executable(metadata_test
  ${PROJECT_SOURCE_DIR}/metadata/gps_text_test.cpp
  ${PROJECT_SOURCE_DIR}/metadata/wic_utility_test.cpp)
target_link_libraries(metadata_test PRIVATE locanym_testsupport GTest::gtest GTest::gtest_main)
gtest_discover_tests(metadata_test)
