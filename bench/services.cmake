# 1,000 GeoNames lookups through a loopback server against a bare libcurl GET of the same URL
# in the same run; prints both medians and the ratio.
add_executable(services_bench ${CMAKE_CURRENT_LIST_DIR}/services_bench_curl.cpp)
target_link_libraries(services_bench PRIVATE locanym_testsupport CURL::libcurl)
