# Settings user interface: the dialog logic through the scripted backend; with the GTK backend,
# the real windows laid out from the resource table, under Xvfb.
add_executable(ui_tests
  ${PROJECT_SOURCE_DIR}/ui/dialogs_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/scripted_dialog_backend.cpp)
target_link_libraries(ui_tests PRIVATE locanym_testsupport GTest::gtest_main)
gtest_discover_tests(ui_tests)

if(LOCANYM_DIALOGS STREQUAL "gtk")
  add_executable(ui_gtk_tests ${PROJECT_SOURCE_DIR}/ui/gtk/dialog_windows_gtk_test.cpp)
  target_link_libraries(ui_gtk_tests PRIVATE locanym_dialogs_gtk GTest::gtest_main)
  target_compile_definitions(ui_gtk_tests PRIVATE LOCANYM_BUILD_DIR="${CMAKE_BINARY_DIR}")
  # GTK keeps process-wide caches that the leak checker of the sanitizer build would report.
  gtest_discover_tests(ui_gtk_tests PROPERTIES ENVIRONMENT
    "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/ui/gtk/lsan_suppressions.txt")

  # The module itself links no toolkit; its dialogs come with Locanym-gtk.so at the first one.
  add_executable(dialog_module_tests ${CMAKE_CURRENT_LIST_DIR}/dialog_module_test.cpp)
  target_link_libraries(dialog_module_tests PRIVATE locanym_testsupport GTest::gtest_main)
  gtest_discover_tests(dialog_module_tests)
  add_test(NAME module_links_no_toolkit
    COMMAND sh -c "! readelf -d \"$1\" | grep -q 'NEEDED.*gtk'" sh $<TARGET_FILE:Locanym>)
endif()
