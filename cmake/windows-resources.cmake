# The Windows module's resources: a version record made from the project version, and a string
# table made from the same table of error texts that the module itself uses (http/error_texts),
# so that the resource and the code can never disagree. The .rc file is generated at build time
# into the build folder; nothing generated is kept in the tree.
function(locanym_add_resources target)
  set(rc_file ${CMAKE_BINARY_DIR}/${target}.rc)
  set(header ${PROJECT_SOURCE_DIR}/http/error_texts.h)
  set(texts ${PROJECT_SOURCE_DIR}/http/error_texts.cpp)
  set(script ${PROJECT_SOURCE_DIR}/cmake/make-rc.cmake)
  add_custom_command(OUTPUT ${rc_file}
    COMMAND ${CMAKE_COMMAND} -DOUT=${rc_file} -DHEADER=${header} -DTEXTS=${texts}
            -DVERSION=${PROJECT_VERSION} -DNAME=${target} -P ${script}
    DEPENDS ${header} ${texts} ${script}
    COMMENT "Generating ${target}.rc")
  target_sources(${target} PRIVATE ${rc_file})
endfunction()
