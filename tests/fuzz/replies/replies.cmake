# Included from tests/fuzz/CMakeLists.txt: the fuzz target of the repository reply readers.
# Every build replays the committed corpus; where clang++ is found, the libFuzzer build
# (run.sh) also runs for 20 seconds.
add_executable(fuzz_replies_replay
    ${CMAKE_CURRENT_LIST_DIR}/replay_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FuzzReplies.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FuzzReplies.h
)
target_link_libraries(fuzz_replies_replay PRIVATE knot_online Qt5::Core)
set_target_properties(fuzz_replies_replay PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_test(NAME fuzz_replies_replay
    COMMAND fuzz_replies_replay ${CMAKE_CURRENT_LIST_DIR}/corpus)
set_tests_properties(fuzz_replies_replay PROPERTIES LABELS online)

if(KL_CLANGXX)
    add_test(NAME fuzz_replies_run
        COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/run.sh 20 ${CMAKE_BINARY_DIR}/fuzz-replies)
    set_tests_properties(fuzz_replies_run PROPERTIES LABELS online TIMEOUT 900)
endif()
