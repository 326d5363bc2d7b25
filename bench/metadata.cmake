# GPS position of a photo, against libexiv2 in the same run. libexiv2 is linked here only.
pkg_check_modules(EXIV2 IMPORTED_TARGET exiv2)
if(EXIV2_FOUND)
  add_executable(metadata_bench ${CMAKE_CURRENT_LIST_DIR}/metadata_bench.cpp
    ${CMAKE_CURRENT_LIST_DIR}/photo_corpus.cpp ${CMAKE_CURRENT_LIST_DIR}/exiv2_peer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bare_read_posix.cpp)
  target_link_libraries(metadata_bench PRIVATE locanym_testsupport PkgConfig::EXIV2)
  # libexiv2 0.27's headers still name std::auto_ptr.
  target_compile_options(metadata_bench PRIVATE -Wno-deprecated-declarations)
else()
  message(WARNING "libexiv2 (Debian libexiv2-dev) not found: metadata_bench is not built")
endif()
