# LoadCache on arbitrary file contents: no crash, bounded memory, and every entry it accepts is
# saved and loaded back unchanged. Seeds are headed "cache_fuzz", the target's application name.
add_executable(cache_fuzz ${CMAKE_CURRENT_LIST_DIR}/cache_fuzz.cpp)
target_link_libraries(cache_fuzz PRIVATE locanym_logic)
target_link_options(cache_fuzz PRIVATE -fsanitize=fuzzer)
