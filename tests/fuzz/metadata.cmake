# The metadata reader over arbitrary files: open, read every item, walk every block.
# Seed corpus: tests/fuzz/corpus/metadata (photos made by tests/support/photo_writer).
add_executable(metadata_fuzz ${CMAKE_CURRENT_LIST_DIR}/metadata_fuzz.cpp)
target_link_libraries(metadata_fuzz PRIVATE locanym_logic)
target_link_options(metadata_fuzz PRIVATE -fsanitize=fuzzer)

# Regenerates the seed corpus: metadata_corpus tests/fuzz/corpus/metadata
add_executable(metadata_corpus ${CMAKE_CURRENT_LIST_DIR}/metadata_corpus.cpp)
target_link_libraries(metadata_corpus PRIVATE locanym_testsupport)
