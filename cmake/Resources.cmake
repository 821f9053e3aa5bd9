# The editor's compiled resources: the style sheet, the bundled fonts and the icons.
#
# Icons are drawn as SVG in app/icons/ and rendered to PNG at build time by `rendericons`, each at
# the size written in its drawing; the animated loader.gif is committed as it is (made by
# tools/icons/make_loader_gif.sh). Everything is compiled into the static library
# `knot_resources`. Anything linking it gets the resources registered at start-up (the linker is
# told to keep the registration); initKnotResources() (KnotResources.h) does the same explicitly.
#
# Resource paths: ":/styles.txt", ":/fonts/<file>" and ":/icons/<name>.png", ":/icons/loader.gif".

if(TARGET knot_resources)
    return()
endif()

set(KNOT_RESOURCE_SOURCE_DIR ${CMAKE_SOURCE_DIR}/app)
set(KNOT_RESOURCE_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)

# --- The icon renderer ------------------------------------------------------------------------

add_executable(rendericons ${CMAKE_SOURCE_DIR}/tools/icons/rendericons.cpp)
target_link_libraries(rendericons PRIVATE Qt5::Svg Qt5::Gui)
set_target_properties(rendericons PROPERTIES
    AUTOMOC OFF
    AUTORCC OFF
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)

# --- Icons rendered from their drawings ---------------------------------------------------------

file(GLOB KNOT_ICON_DRAWINGS CONFIGURE_DEPENDS ${KNOT_RESOURCE_SOURCE_DIR}/icons/*.svg)
list(SORT KNOT_ICON_DRAWINGS)

set(KNOT_ICON_PNGS)
set(KNOT_ICON_QRC_LINES)
foreach(drawing IN LISTS KNOT_ICON_DRAWINGS)
    get_filename_component(icon ${drawing} NAME_WE)
    set(png ${KNOT_RESOURCE_GENERATED_DIR}/icons/${icon}.png)
    add_custom_command(
        OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${KNOT_RESOURCE_GENERATED_DIR}/icons
        # A sanitizer build's leak report at exit would fail the step for the toolkit's own
        # allocations.
        COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
                $<TARGET_FILE:rendericons> ${drawing} ${png}
        DEPENDS rendericons ${drawing}
        COMMENT "Rendering icon ${icon}.png"
        VERBATIM)
    list(APPEND KNOT_ICON_PNGS ${png})
    string(APPEND KNOT_ICON_QRC_LINES "        <file alias=\"${icon}.png\">icons/${icon}.png</file>\n")
endforeach()
add_custom_target(knot_icons DEPENDS ${KNOT_ICON_PNGS})

# --- Files taken as they are ------------------------------------------------------------------

set(KNOT_RESOURCE_FONTS
    Lato-Regular.ttf
    Lato-Bold.ttf
    Lato-Light.ttf
    Lato-Medium.ttf
    OFL.txt)

set(KNOT_RESOURCE_FILES
    ${KNOT_RESOURCE_SOURCE_DIR}/styles.txt
    ${KNOT_RESOURCE_SOURCE_DIR}/icons/loader.gif)
set(KNOT_FONT_QRC_LINES)
foreach(font IN LISTS KNOT_RESOURCE_FONTS)
    list(APPEND KNOT_RESOURCE_FILES ${KNOT_RESOURCE_SOURCE_DIR}/fonts/${font})
    string(APPEND KNOT_FONT_QRC_LINES
        "        <file alias=\"fonts/${font}\">${KNOT_RESOURCE_SOURCE_DIR}/fonts/${font}</file>\n")
endforeach()

# --- The collection and its compiled form ---------------------------------------------------------

set(KNOT_RESOURCE_QRC ${KNOT_RESOURCE_GENERATED_DIR}/knot_resources.qrc)
# Written only when its text changes, so a re-configure does not rebuild the resources.
file(CONFIGURE OUTPUT ${KNOT_RESOURCE_QRC} CONTENT
"<!DOCTYPE RCC>
<RCC version=\"1.0\">
    <qresource prefix=\"/\">
        <file alias=\"styles.txt\">${KNOT_RESOURCE_SOURCE_DIR}/styles.txt</file>
${KNOT_FONT_QRC_LINES}    </qresource>
    <qresource prefix=\"/icons\">
${KNOT_ICON_QRC_LINES}        <file alias=\"loader.gif\">${KNOT_RESOURCE_SOURCE_DIR}/icons/loader.gif</file>
    </qresource>
</RCC>
")

set(KNOT_RESOURCE_CPP ${KNOT_RESOURCE_GENERATED_DIR}/qrc_knot_resources.cpp)
add_custom_command(
    OUTPUT ${KNOT_RESOURCE_CPP}
    COMMAND Qt5::rcc --name knot_resources --output ${KNOT_RESOURCE_CPP} ${KNOT_RESOURCE_QRC}
    DEPENDS ${KNOT_RESOURCE_QRC} ${KNOT_ICON_PNGS} ${KNOT_RESOURCE_FILES}
    WORKING_DIRECTORY ${KNOT_RESOURCE_GENERATED_DIR}
    COMMENT "Compiling the editor's resources"
    VERBATIM)
set_source_files_properties(${KNOT_RESOURCE_CPP} PROPERTIES GENERATED TRUE SKIP_AUTOGEN ON)

add_library(knot_resources STATIC
    ${KNOT_RESOURCE_CPP}
    ${KNOT_RESOURCE_SOURCE_DIR}/icons/KnotResources.cpp
    ${KNOT_RESOURCE_SOURCE_DIR}/icons/KnotResources.h)
target_include_directories(knot_resources PUBLIC ${KNOT_RESOURCE_SOURCE_DIR}/icons)
target_link_libraries(knot_resources PUBLIC Qt5::Core)
set_target_properties(knot_resources PROPERTIES AUTOMOC OFF AUTORCC OFF)

# A static library's resource registration is only a static initialiser that nothing refers to,
# so the linker would leave it out of every program (also when knot_resources reaches the program
# through another static library). Naming its symbol as undefined keeps it in.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    if(APPLE)
        target_link_options(knot_resources INTERFACE "LINKER:-u,__Z29qInitResources_knot_resourcesv")
    else()
        target_link_options(knot_resources INTERFACE "LINKER:-u,_Z29qInitResources_knot_resourcesv")
    endif()
endif()
