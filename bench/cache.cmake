# Saves and loads a cache of a million entries, and runs sessions over the unchanged file
# through the application's messages; prints min and median seconds and peak memory per entry.
add_executable(cache_bench ${CMAKE_CURRENT_LIST_DIR}/cache_bench.cpp)
target_link_libraries(cache_bench PRIVATE locanym_logic)
