# Metadata reader: unit tests beside the code, and the end-to-end test through the module.
add_executable(metadata_test
  ${PROJECT_SOURCE_DIR}/metadata/prop_text_test.cpp
  ${PROJECT_SOURCE_DIR}/metadata/wic_utility_test.cpp)
target_link_libraries(metadata_test PRIVATE locanym_testsupport GTest::gtest GTest::gtest_main)
gtest_discover_tests(metadata_test)

add_executable(metadata_e2e_test ${CMAKE_CURRENT_LIST_DIR}/metadata_e2e_test.cpp)
target_link_libraries(metadata_e2e_test PRIVATE locanym_testsupport GTest::gtest GTest::gtest_main)
gtest_discover_tests(metadata_e2e_test)
