# The metadata reader over arbitrary files: open, read every item, walk every block.
# Seed corpus: tests/fuzz/corpus/metadata (written by tools/seeds/metadata_corpus).
add_executable(metadata_fuzz ${CMAKE_CURRENT_LIST_DIR}/metadata_fuzz.cpp)
target_link_libraries(metadata_fuzz PRIVATE locanym_logic)
target_link_options(metadata_fuzz PRIVATE -fsanitize=fuzzer)
