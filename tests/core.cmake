# Core: text, formatting, log, settings and caption composition (unit tests beside the code),
# and the module's messages end to end.
add_executable(core_tests
  ${PROJECT_SOURCE_DIR}/base/text_test.cpp
  ${PROJECT_SOURCE_DIR}/base/format_test.cpp
  ${PROJECT_SOURCE_DIR}/base/log_test.cpp
  ${PROJECT_SOURCE_DIR}/core/compose_test.cpp
  ${PROJECT_SOURCE_DIR}/core/network_pause_test.cpp)
target_link_libraries(core_tests PRIVATE locanym_logic GTest::gtest_main)
gtest_discover_tests(core_tests)

# Message 5 with a scripted dialog: links the logic directly, not the module.
add_executable(configure_tests ${PROJECT_SOURCE_DIR}/core/configure_test.cpp)
target_link_libraries(configure_tests PRIVATE locanym_testsupport GTest::gtest_main)
gtest_discover_tests(configure_tests)

add_executable(module_tests ${CMAKE_CURRENT_LIST_DIR}/module_messages_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/module_robustness_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/module_settings_test.cpp)
target_link_libraries(module_tests PRIVATE locanym_testsupport GTest::gtest_main)
gtest_discover_tests(module_tests)

# The module exports its entry point and nothing else.
add_test(NAME module_exports_only_entry_point
  COMMAND sh -c "nm -D --defined-only \"$1\" | awk '{print $3}' | sort | tr '\\n' ' ' | grep -qx 'sldPlugInMsgHandler '" sh $<TARGET_FILE:Locanym>)
