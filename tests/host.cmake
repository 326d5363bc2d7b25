# Reference host: its settings storage (unit tests beside the code) and the built program
# driving the built module.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/host_no_entry_module.cpp
  "extern \"C\" __attribute__((visibility(\"default\"))) int NotThePlugInEntryPoint() { return 0; }\n")
add_library(host_no_entry_module MODULE ${CMAKE_CURRENT_BINARY_DIR}/host_no_entry_module.cpp)

add_executable(host_tests ${CMAKE_CURRENT_LIST_DIR}/host_test.cpp
  ${PROJECT_SOURCE_DIR}/host/host_settings_test.cpp ${PROJECT_SOURCE_DIR}/host/photo_status_test.cpp)
target_link_libraries(host_tests PRIVATE locanym_host GTest::gtest_main)
target_compile_definitions(host_tests PRIVATE
  LOCANYM_VERSION="${PROJECT_VERSION}"
  LOCANYM_HOST_PATH="$<TARGET_FILE:locanym-host>"
  LOCANYM_MODULE_PATH="$<TARGET_FILE:Locanym>"
  LOCANYM_NO_ENTRY_MODULE_PATH="$<TARGET_FILE:host_no_entry_module>")
add_dependencies(host_tests locanym-host Locanym host_no_entry_module)
gtest_discover_tests(host_tests)

# Caption runs of the built host against a service on 127.0.0.1, with real photo files.
add_executable(host_caption_tests ${CMAKE_CURRENT_LIST_DIR}/host_caption_test.cpp)
target_link_libraries(host_caption_tests PRIVATE locanym_testsupport GTest::gtest_main)
target_compile_definitions(host_caption_tests PRIVATE LOCANYM_HOST_PATH="$<TARGET_FILE:locanym-host>")
add_dependencies(host_caption_tests locanym-host Locanym)
gtest_discover_tests(host_caption_tests)
