# Writes the firmware template: templ_chip.in with the emulator template's shared part (from
# its first "#define SMP_RATE" up to its marker: the rate constants, the shared arrays, midi_cps,
# sin and ran) in place of @EMULATOR_PRELUDE@, so that the two runtimes cannot drift apart.
#   cmake -DRUNTIME=<templ_emul.txt> -DCHIP=<templ_chip.in> -DOUTPUT=<templ_chip.txt> -P MakeChipTemplate.cmake
file(READ "${RUNTIME}" runtime)
string(FIND "${runtime}" "#define SMP_RATE" start)
string(FIND "${runtime}" "###dynamic###" marker)
if(start LESS 0 OR marker LESS start)
    message(FATAL_ERROR "${RUNTIME} has no \"#define SMP_RATE\" before its ###dynamic### marker")
endif()
math(EXPR length "${marker} - ${start}")
string(SUBSTRING "${runtime}" ${start} ${length} prelude)
file(READ "${CHIP}" chip)
string(FIND "${chip}" "@EMULATOR_PRELUDE@" slot)
if(slot LESS 0)
    message(FATAL_ERROR "${CHIP} has no @EMULATOR_PRELUDE@")
endif()
string(REPLACE "@EMULATOR_PRELUDE@" "${prelude}" chip "${chip}")
file(WRITE "${OUTPUT}.tmp" "${chip}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
