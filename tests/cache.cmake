# Location cache: unit tests beside the code, and the cache's moments through the real module.
add_executable(cache_unit_test
  ${PROJECT_SOURCE_DIR}/cache/location_cache_test.cpp
  ${PROJECT_SOURCE_DIR}/cache/cache_file_test.cpp)
target_link_libraries(cache_unit_test PRIVATE locanym_testsupport GTest::gtest_main)
gtest_discover_tests(cache_unit_test)

add_executable(cache_sessions_test ${CMAKE_CURRENT_LIST_DIR}/cache_sessions_test.cpp)
target_link_libraries(cache_sessions_test PRIVATE locanym_testsupport GTest::gtest_main)
gtest_discover_tests(cache_sessions_test)
