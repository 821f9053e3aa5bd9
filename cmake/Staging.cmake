# Copies a source folder into the program folder at every build, keeping run bits.
# kl_stage_directory(<target-name> <source-dir> <dest-subdir>)
add_custom_target(stage_program_folder ALL)

function(kl_stage_directory name src dest)
    add_custom_target(${name}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${KNOTLATTICE_BIN_DIR}/${dest}
        COMMAND ${CMAKE_COMMAND} -E copy_directory ${src} ${KNOTLATTICE_BIN_DIR}/${dest}
        COMMENT "Staging ${dest}"
        VERBATIM)
    add_dependencies(stage_program_folder ${name})
endfunction()
