# Copies a source folder into the program folder at every build, keeping run bits.
# kl_stage_directory(<target-name> <source-dir> <dest-subdir>)
add_custom_target(stage_program_folder ALL)

# Every file the build puts in the program folder, relative to it, one a line. Tests copy only
# these out of the staged folder, never what using it from there has left beside them (a
# Compile's main.c, a built emulate).
set(KL_PROGRAM_MANIFEST ${CMAKE_BINARY_DIR}/program-folder.manifest)

# kl_program_files(<file in the program folder>...): absolute paths below KNOTLATTICE_BIN_DIR.
function(kl_program_files)
    foreach(path IN LISTS ARGN)
        file(RELATIVE_PATH relative ${KNOTLATTICE_BIN_DIR} ${path})
        set_property(GLOBAL APPEND PROPERTY KL_PROGRAM_FILES ${relative})
    endforeach()
endfunction()

function(kl_stage_directory name src dest)
    add_custom_target(${name}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${KNOTLATTICE_BIN_DIR}/${dest}
        COMMAND ${CMAKE_COMMAND} -E copy_directory ${src} ${KNOTLATTICE_BIN_DIR}/${dest}
        COMMENT "Staging ${dest}"
        VERBATIM)
    add_dependencies(stage_program_folder ${name})
    file(GLOB_RECURSE files CONFIGURE_DEPENDS LIST_DIRECTORIES false RELATIVE ${src} ${src}/*)
    list(TRANSFORM files PREPEND ${KNOTLATTICE_BIN_DIR}/${dest}/)
    kl_program_files(${files})
endfunction()

# Writes the manifest, once every folder has named what it stages.
function(kl_write_program_manifest)
    get_property(files GLOBAL PROPERTY KL_PROGRAM_FILES)
    list(REMOVE_DUPLICATES files)
    list(SORT files)
    list(JOIN files "\n" text)
    file(GENERATE OUTPUT ${KL_PROGRAM_MANIFEST} CONTENT "${text}\n")
endfunction()
