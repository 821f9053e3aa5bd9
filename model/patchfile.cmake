# Included from model/CMakeLists.txt: the packed patch record, the patch file, the
# clipboard payload with the paste plan, and the firmware trailer, free of widgets.
find_package(ZLIB REQUIRED)
add_library(knot_patchfile STATIC
    ${CMAKE_CURRENT_LIST_DIR}/BinaryPacker.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BinaryPacker.h
    ${CMAKE_CURRENT_LIST_DIR}/BinaryUtil.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BinaryUtil.h
    ${CMAKE_CURRENT_LIST_DIR}/ClipboardPayload.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ClipboardPayload.h
    ${CMAKE_CURRENT_LIST_DIR}/FirmwareTrailer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FirmwareTrailer.h
    ${CMAKE_CURRENT_LIST_DIR}/PackedInstance.h
    ${CMAKE_CURRENT_LIST_DIR}/PackedPatch.h
    ${CMAKE_CURRENT_LIST_DIR}/PastePlan.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PastePlan.h
    ${CMAKE_CURRENT_LIST_DIR}/PatchFile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PatchFile.h
    ${CMAKE_CURRENT_LIST_DIR}/PatchRecord.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PatchRecord.h
    ${CMAKE_CURRENT_LIST_DIR}/RecordFit.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RecordFit.h
)
target_include_directories(knot_patchfile PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(knot_patchfile PUBLIC knot_model Qt5::Core PRIVATE ZLIB::ZLIB)
