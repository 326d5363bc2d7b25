# A show without network: 300 photos through the module against a server that never answers,
# against the same photos with a server that answers at once; prints both totals and the ratio.
add_executable(offline_bench ${CMAKE_CURRENT_LIST_DIR}/offline_bench.cpp)
target_link_libraries(offline_bench PRIVATE locanym_testsupport)
