# Services and the server query: unit tests beside the code, run against a real HTTP(S) server
# on loopback; and the photo road through the module end to end.
add_executable(http_tests
  ${PROJECT_SOURCE_DIR}/http/url_test.cpp
  ${PROJECT_SOURCE_DIR}/http/http_curl_test.cpp
  ${PROJECT_SOURCE_DIR}/http/transport_test.cpp
  ${PROJECT_SOURCE_DIR}/services/query_server_test.cpp)
target_link_libraries(http_tests PRIVATE locanym_testsupport GTest::gtest_main)
gtest_discover_tests(http_tests DISCOVERY_TIMEOUT 30)

add_executable(services_tests
  ${PROJECT_SOURCE_DIR}/services/param_test.cpp
  ${PROJECT_SOURCE_DIR}/services/json_answer_test.cpp
  ${PROJECT_SOURCE_DIR}/services/service_catalogue_test.cpp)
target_link_libraries(services_tests PRIVATE locanym_testsupport GTest::gtest_main)
gtest_discover_tests(services_tests DISCOVERY_TIMEOUT 30)

add_executable(services_e2e_test ${CMAKE_CURRENT_LIST_DIR}/services_e2e_test.cpp)
target_link_libraries(services_e2e_test PRIVATE locanym_testsupport GTest::gtest_main)
gtest_discover_tests(services_e2e_test DISCOVERY_TIMEOUT 30)
