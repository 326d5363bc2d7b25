# Settings user interface: the dialog logic through the scripted backend, the resource table,
# the version record and the help opener; with the GTK backend, the real windows under Xvfb.
add_executable(ui_tests
  ${PROJECT_SOURCE_DIR}/ui/dialogs_test.cpp
  ${PROJECT_SOURCE_DIR}/ui/resources_test.cpp
  ${PROJECT_SOURCE_DIR}/ui/module_version_test.cpp
  ${PROJECT_SOURCE_DIR}/ui/help_test.cpp
  ${PROJECT_SOURCE_DIR}/ui/scripted_dialog_backend.cpp)
target_link_libraries(ui_tests PRIVATE locanym_testsupport GTest::gtest_main)
gtest_discover_tests(ui_tests)
