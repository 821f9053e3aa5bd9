kl_add_test(test_resources
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_resources.cpp
    LIBS knot_resources Qt5::Widgets
    LABELS app)
