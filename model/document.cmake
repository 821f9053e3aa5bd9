# Included from model/CMakeLists.txt: the patch document and its undo commands.
add_library(knot_document STATIC
    AddBlockCommand.cpp
    AddBlockCommand.h
    AddCommentCommand.cpp
    AddCommentCommand.h
    AddConnectionCommand.cpp
    AddConnectionCommand.h
    EditCommentCommand.cpp
    EditCommentCommand.h
    EditVariableCommand.cpp
    EditVariableCommand.h
    MoveBlockCommand.cpp
    MoveBlockCommand.h
    PatchDocument.cpp
    PatchDocument.h
    RemoveBlockCommand.cpp
    RemoveBlockCommand.h
    RemoveCommentCommand.cpp
    RemoveCommentCommand.h
    RemoveConnectionCommand.cpp
    RemoveConnectionCommand.h
)
target_include_directories(knot_document PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(knot_document PUBLIC knot_model knot_views Qt5::Widgets)
