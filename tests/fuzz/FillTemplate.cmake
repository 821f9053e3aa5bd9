# kl_fill_emulator_template(<template> <generated code> <output>)
# Puts the generated code in place of the template's marker at configure time, as the code
# generator does, and configures again when either file changes.
function(kl_fill_emulator_template template dynamic output)
    file(READ ${template} template_text)
    file(READ ${dynamic} dynamic_text)
    string(REPLACE "###dynamic###" "${dynamic_text}" filled "${template_text}")
    file(CONFIGURE OUTPUT ${output} CONTENT "${filled}" @ONLY)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${template} ${dynamic})
endfunction()
