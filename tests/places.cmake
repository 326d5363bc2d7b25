# The offline place finder: the data file's reader and converter on handmade input, and the
# finder on the real data file when the build made one (its tests skip otherwise).
add_executable(places_tests
  ${PROJECT_SOURCE_DIR}/services/places_convert_test.cpp
  ${PROJECT_SOURCE_DIR}/services/place_finder_test.cpp)
target_link_libraries(places_tests PRIVATE locanym_places_convert locanym_testsupport GTest::gtest_main)
target_compile_definitions(places_tests PRIVATE LOCANYM_PLACES_FILE="${LOCANYM_PLACES_FILE}")
add_dependencies(places_tests places_data)
gtest_discover_tests(places_tests DISCOVERY_TIMEOUT 30)
# The offline service and the fallback through the real module: services_e2e_test.
