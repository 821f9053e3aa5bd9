# Writes the block test template: the emulator template up to its marker (the runtime's arrays
# and helpers, exactly as the emulator program has them), the marker, then the test driver in
# place of the audio callback and main.
#   cmake -DRUNTIME=<templ_emul.txt> -DDRIVER=<harness_driver.c> -DOUTPUT=<file> -P MakeTemplate.cmake
file(READ "${RUNTIME}" runtime)
string(FIND "${runtime}" "###dynamic###" marker)
if(marker LESS 0)
    message(FATAL_ERROR "${RUNTIME} has no ###dynamic### marker")
endif()
string(SUBSTRING "${runtime}" 0 ${marker} prelude)
file(READ "${DRIVER}" driver)
file(WRITE "${OUTPUT}.tmp" "${prelude}###dynamic###\n\n${driver}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
