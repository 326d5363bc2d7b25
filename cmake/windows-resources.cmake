# The Windows module's resources: a version record made from the project version, a string table
# made from the same table of error texts that the module itself uses (http/error_texts), and the
# settings dialogs with their strings made from the dialog resource table (ui/resources.cpp) by
# the build tool ui/win32/make_dialog_rc, so that the resources and the code can never disagree.
# The .rc file is generated at build time into the build folder; nothing generated is kept in the
# tree.

# The build tool runs on the build machine. A cross-build compiles it with the build machine's
# own C++ compiler; a native Windows build makes it an ordinary program.
set(LOCANYM_RCGEN_SOURCES ${PROJECT_SOURCE_DIR}/ui/win32/make_dialog_rc.cpp
    ${PROJECT_SOURCE_DIR}/ui/resources.cpp ${PROJECT_SOURCE_DIR}/base/text.cpp
    ${PROJECT_SOURCE_DIR}/base/utf.cpp)
if(CMAKE_CROSSCOMPILING)
  find_program(LOCANYM_BUILD_CXX NAMES c++ g++ clang++ REQUIRED
               DOC "C++ compiler of the build machine, for the resource generator")
  set(LOCANYM_RCGEN ${CMAKE_BINARY_DIR}/make_dialog_rc)
  add_custom_command(OUTPUT ${LOCANYM_RCGEN}
    COMMAND ${LOCANYM_BUILD_CXX} -std=c++20 -O1 -I${PROJECT_SOURCE_DIR} -o ${LOCANYM_RCGEN}
            ${LOCANYM_RCGEN_SOURCES}
    DEPENDS ${LOCANYM_RCGEN_SOURCES} ${PROJECT_SOURCE_DIR}/ui/resources.h
            ${PROJECT_SOURCE_DIR}/base/text.h ${PROJECT_SOURCE_DIR}/base/utf.h
    COMMENT "Building the resource generator for the build machine")
  add_custom_target(locanym_rcgen DEPENDS ${LOCANYM_RCGEN})
else()
  add_executable(locanym_rcgen ${LOCANYM_RCGEN_SOURCES})
  target_include_directories(locanym_rcgen PRIVATE ${PROJECT_SOURCE_DIR})
  set(LOCANYM_RCGEN $<TARGET_FILE:locanym_rcgen>)
endif()

set(LOCANYM_DIALOGS_RC ${CMAKE_BINARY_DIR}/locanym-dialogs.rc)
set(LOCANYM_DIALOG_STRINGS ${CMAKE_BINARY_DIR}/locanym-strings.txt)
add_custom_command(OUTPUT ${LOCANYM_DIALOGS_RC} ${LOCANYM_DIALOG_STRINGS}
  COMMAND ${LOCANYM_RCGEN} ${LOCANYM_DIALOGS_RC} ${LOCANYM_DIALOG_STRINGS}
  DEPENDS locanym_rcgen ${LOCANYM_RCGEN_SOURCES}
  COMMENT "Writing the dialog resources")
# One rule for the files above, however many targets take the resources.
add_custom_target(locanym_dialog_rc DEPENDS ${LOCANYM_DIALOGS_RC} ${LOCANYM_DIALOG_STRINGS})

# Gives target the module's resources (the module itself, and test programs that run the
# dialogs from their own resources).
function(locanym_add_resources target)
  set(rc_file ${CMAKE_BINARY_DIR}/${target}.rc)
  set(header ${PROJECT_SOURCE_DIR}/http/error_texts.h)
  set(texts ${PROJECT_SOURCE_DIR}/http/error_texts.cpp)
  set(script ${PROJECT_SOURCE_DIR}/cmake/make-rc.cmake)
  add_custom_command(OUTPUT ${rc_file}
    COMMAND ${CMAKE_COMMAND} -DOUT=${rc_file} -DHEADER=${header} -DTEXTS=${texts}
            -DVERSION=${PROJECT_VERSION} -DNAME=${target} -DDIALOGS=${LOCANYM_DIALOGS_RC}
            -DSTRINGS=${LOCANYM_DIALOG_STRINGS} -P ${script}
    DEPENDS ${header} ${texts} ${script} ${LOCANYM_DIALOGS_RC} ${LOCANYM_DIALOG_STRINGS}
    COMMENT "Generating ${target}.rc")
  target_sources(${target} PRIVATE ${rc_file})
  add_dependencies(${target} locanym_dialog_rc)
endfunction()

# Locanym.chm beside the DLL: the help page compiled by chmcmd (Debian's fp-utils), which the
# Help button opens through HTML Help.
find_program(LOCANYM_CHMCMD chmcmd DOC "HTML Help compiler (Debian package fp-utils)")
if(LOCANYM_CHMCMD)
  set(help_dir ${CMAKE_BINARY_DIR}/help)
  file(WRITE ${help_dir}/Locanym.hhp.new "[OPTIONS]
Compiled file=Locanym.chm
Default topic=Locanym.html
Title=Locanym
Language=0x409 English (United States)

[FILES]
Locanym.html
")
  file(COPY_FILE ${help_dir}/Locanym.hhp.new ${help_dir}/Locanym.hhp ONLY_IF_DIFFERENT)
  file(REMOVE ${help_dir}/Locanym.hhp.new)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/Locanym.chm
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/Locanym.html ${help_dir}/
    COMMAND ${CMAKE_COMMAND} -E chdir ${help_dir} ${LOCANYM_CHMCMD} Locanym.hhp > ${help_dir}/chmcmd.log
    COMMAND ${CMAKE_COMMAND} -E copy ${help_dir}/Locanym.chm ${CMAKE_BINARY_DIR}/Locanym.chm
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/Locanym.html ${help_dir}/Locanym.hhp
    COMMENT "Compiling Locanym.chm")
  add_custom_target(locanym_chm ALL DEPENDS ${CMAKE_BINARY_DIR}/Locanym.chm)
else()
  message(WARNING "chmcmd not found (Debian package fp-utils): no Locanym.chm is built")
endif()
