# A whole show answered from the cache through the reference host, against libexiv2 reading
# the same photos' GPS positions; prints both, the ratio, and the show with libcurl preloaded.
if(EXIV2_FOUND)
  add_executable(show_bench ${CMAKE_CURRENT_LIST_DIR}/show_bench_posix.cpp
    ${CMAKE_CURRENT_LIST_DIR}/photo_corpus.cpp ${CMAKE_CURRENT_LIST_DIR}/exiv2_peer.cpp)
  target_link_libraries(show_bench PRIVATE locanym_testsupport PkgConfig::EXIV2)
  target_compile_options(show_bench PRIVATE -Wno-deprecated-declarations)
  target_compile_definitions(show_bench PRIVATE
    LOCANYM_HOST_PATH="$<TARGET_FILE:locanym-host>"
    LOCANYM_MODULE_PATH="$<TARGET_FILE:Locanym>")
  add_dependencies(show_bench locanym-host Locanym)
endif()
