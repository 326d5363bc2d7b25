# The offline place data reader and the finder on damaged data files.
add_executable(places_data_fuzz ${CMAKE_CURRENT_LIST_DIR}/places_data_fuzz.cpp)
target_link_libraries(places_data_fuzz PRIVATE locanym_places_convert)
target_link_options(places_data_fuzz PRIVATE -fsanitize=fuzzer)
