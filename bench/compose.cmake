# Composes captions from the worst answers that fit the answer cap and prints time and memory.
add_executable(compose_bench ${CMAKE_CURRENT_LIST_DIR}/compose_bench.cpp)
target_link_libraries(compose_bench PRIVATE locanym_logic)
