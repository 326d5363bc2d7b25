# The reference host's configure command opening the real settings window under Xvfb; only a
# module built with a dialog toolkit has a window to open.
if(LOCANYM_DIALOGS STREQUAL "gtk")
  add_executable(host_configure_tests ${CMAKE_CURRENT_LIST_DIR}/host_configure_test.cpp)
  target_link_libraries(host_configure_tests PRIVATE GTest::gtest_main)
  target_include_directories(host_configure_tests PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(host_configure_tests PRIVATE
    LOCANYM_HOST_PATH="$<TARGET_FILE:locanym-host>")
  add_dependencies(host_configure_tests locanym-host Locanym)
  gtest_discover_tests(host_configure_tests PROPERTIES ENVIRONMENT
    "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/ui/gtk/lsan_suppressions.txt")
endif()
