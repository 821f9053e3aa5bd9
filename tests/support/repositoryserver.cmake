# The tests' repository server (RepositoryServer): a fault and recording layer in front of an
# in-process instance of the real server in tools/repository-server.
if(TARGET knot_repositoryserver)
    return()
endif()
add_library(knot_repositoryserver STATIC
    ${CMAKE_CURRENT_LIST_DIR}/RepositoryServer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RepositoryServer.h
)
target_include_directories(knot_repositoryserver PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(knot_repositoryserver PUBLIC Qt5::Network knot_repositoryservice)
