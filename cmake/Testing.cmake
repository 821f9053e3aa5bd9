# kl_add_test(<name> SOURCES ... [LIBS ...] [LABELS ...] [ENV ...])
# A QtTest executable run under CTest with the offscreen platform, UTC and a C.UTF-8 locale.
# Each test gets its own HOME and settings location from the test support main. The repository
# address is a closed local port (only the superuser may listen below 1024), so no test reaches
# the network unless it starts a server of its own and points the editor at it.
function(kl_add_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_link_libraries(${name} PRIVATE knot_testsupport ${T_LIBS} Qt5::Test)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        LABELS "${T_LABELS}"
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TZ=UTC;LC_ALL=C.UTF-8;KNOTLATTICE_BIN_DIR=${KNOTLATTICE_BIN_DIR};KNOTLATTICE_PROGRAM_MANIFEST=${KL_PROGRAM_MANIFEST};KNOTLATTICE_SOURCE_DIR=${CMAKE_SOURCE_DIR};KNOTLATTICE_REPOSITORY_URL=http://127.0.0.1:1/action.php;${T_ENV}"
        TIMEOUT 300)
    if(KNOTLATTICE_SANITIZE)
        set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT
            "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/support/lsan.supp:print_suppressions=0"
            "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
    endif()
    add_dependencies(${name} stage_program_folder)
endfunction()
