# The Windows build's own tests, run under Wine (the toolchain's emulator): the platform files on
# real files, the WinINet transport against the loopback peer that scripts/test.sh --windows
# starts natively, and the module through its entry point. One ctest entry per program: every
# Wine start costs seconds.
add_executable(windows_platform_tests ${PROJECT_SOURCE_DIR}/platform/file_test.cpp
  ${PROJECT_SOURCE_DIR}/platform/platform_win32_test.cpp)
target_link_libraries(windows_platform_tests PRIVATE locanym_testsupport GTest::gtest_main)
add_test(NAME windows_platform_tests COMMAND windows_platform_tests)

add_executable(windows_http_tests ${PROJECT_SOURCE_DIR}/http/transport_test.cpp
  ${PROJECT_SOURCE_DIR}/http/http_wininet_test.cpp)
target_link_libraries(windows_http_tests PRIVATE locanym_logic GTest::gtest_main crypt32)
add_test(NAME windows_http_tests COMMAND windows_http_tests)

add_executable(windows_module_tests ${CMAKE_CURRENT_LIST_DIR}/windows_module_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/module_messages_test.cpp)
target_link_libraries(windows_module_tests PRIVATE locanym_testsupport GTest::gtest_main)
add_test(NAME windows_module_tests COMMAND windows_module_tests)

add_executable(windows_host_tests ${CMAKE_CURRENT_LIST_DIR}/host_platform_win32_test.cpp)
target_link_libraries(windows_host_tests PRIVATE locanym_host GTest::gtest_main)
add_test(NAME windows_host_tests COMMAND windows_host_tests)

# The Win32 dialog boxes under Wine with a display (scripts/test-windows.sh gives Wine an Xvfb
# and a prefix of its own for windows; without a display the tests skip). The program carries
# the module's resources itself, so the backend linked into it finds the dialogs there.
if(LOCANYM_DIALOGS STREQUAL "win32")
  add_executable(windows_dialog_tests ${PROJECT_SOURCE_DIR}/ui/win32/dialog_windows_win32_test.cpp)
  target_link_libraries(windows_dialog_tests PRIVATE locanym_testsupport GTest::gtest_main)
  locanym_add_resources(windows_dialog_tests)
  add_test(NAME windows_dialog_tests COMMAND windows_dialog_tests)
  get_filename_component(LOCANYM_WINE_GUI_PREFIX "${LOCANYM_WINDOWS_DEPS}/../wineprefix-gui"
                         ABSOLUTE)
  set_tests_properties(windows_dialog_tests PROPERTIES
    ENVIRONMENT "WINEPREFIX=${LOCANYM_WINE_GUI_PREFIX}")
endif()
