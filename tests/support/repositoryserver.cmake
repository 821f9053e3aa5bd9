# The repository server of our own (RepositoryServer), as a small library shared by the tests
# and the knotlattice-repository program. Included from tools/repository-server.
if(TARGET knot_repositoryserver)
    return()
endif()
add_library(knot_repositoryserver STATIC
    ${CMAKE_CURRENT_LIST_DIR}/RepositoryServer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RepositoryServer.h
)
target_include_directories(knot_repositoryserver PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(knot_repositoryserver PUBLIC Qt5::Network Qt5::Xml)
