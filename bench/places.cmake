# Offline place finder on the real data file: lookup and open medians, file size, resident
# growth, against a scan of every place in the same run; the offline service's lookup against a
# GeoNames lookup of a loopback server. Prints that it measured nothing when the build made no
# data file.
add_executable(places_bench ${CMAKE_CURRENT_LIST_DIR}/places_bench.cpp)
target_link_libraries(places_bench PRIVATE locanym_testsupport)
target_compile_definitions(places_bench PRIVATE LOCANYM_PLACES_FILE="${LOCANYM_PLACES_FILE}")
add_dependencies(places_bench places_data)
