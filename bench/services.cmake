# Lookups of all six services through a loopback server replaying their recorded answers,
# against the equal-work libcurl GET of the same URLs in the same run; prints each service's
# medians and ratio.
add_executable(services_bench ${CMAKE_CURRENT_LIST_DIR}/services_bench_curl.cpp)
target_link_libraries(services_bench PRIVATE locanym_replay CURL::libcurl)
