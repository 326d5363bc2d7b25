# Every service's answer reading on arbitrary bodies; UrlEncode, EscapeText and UnescapeText on
# arbitrary text with their round trips.
add_executable(service_answer_fuzz ${CMAKE_CURRENT_LIST_DIR}/service_answer_fuzz.cpp)
target_link_libraries(service_answer_fuzz PRIVATE locanym_logic)
target_link_options(service_answer_fuzz PRIVATE -fsanitize=fuzzer)

add_executable(url_text_fuzz ${CMAKE_CURRENT_LIST_DIR}/url_text_fuzz.cpp)
target_link_libraries(url_text_fuzz PRIVATE locanym_logic)
target_link_options(url_text_fuzz PRIVATE -fsanitize=fuzzer)
