# cmake -DTEMPLATE=... -DDYNAMIC=... -DOUTPUT=... -P FillTemplate.cmake
# Puts the generated text in place of the template's marker, as the code generator does.
file(READ ${TEMPLATE} template_text)
file(READ ${DYNAMIC} dynamic_text)
string(REPLACE "###dynamic###" "${dynamic_text}" filled "${template_text}")
file(WRITE ${OUTPUT}.tmp "${filled}")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
