# Each source folder builds two static libraries: tarvex_core_<folder> (rules of the system,
# Qt Core/Gui only) and tarvex_ui_<folder> (windows). tarvex_core and tarvex_ui gather them so
# that the program links everything, while a test links only the folders it exercises and keeps
# building while another folder is half-way through a change.

set_property(GLOBAL PROPERTY TARVEX_CORE_LIBS "")
set_property(GLOBAL PROPERTY TARVEX_UI_LIBS "")

# tarvex_core_library(<folder> SOURCES ... [DEPENDS <other core libs>])
function(tarvex_core_library folder)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    set(target tarvex_core_${folder})
    add_library(${target} STATIC ${ARG_SOURCES})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} PUBLIC Qt6::Core Qt6::Gui ${ARG_DEPENDS})
    set_property(GLOBAL APPEND PROPERTY TARVEX_CORE_LIBS ${target})
endfunction()

# tarvex_ui_library(<folder> SOURCES ... [DEPENDS <other libs>])
function(tarvex_ui_library folder)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    set(target tarvex_ui_${folder})
    add_library(${target} STATIC ${ARG_SOURCES})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} PUBLIC Qt6::Widgets Qt6::Charts Qt6::PrintSupport
                                            Qt6::WebEngineWidgets Qt6::Svg ${ARG_DEPENDS})
    set_property(GLOBAL APPEND PROPERTY TARVEX_UI_LIBS ${target})
endfunction()

# tarvex_add_test(<name> SOURCES ... LIBS ... [DISPLAY])
# One executable per unit, run by CTest. Tests run with the offscreen platform unless DISPLAY
# is given (web engine and real windowing need the X server that the test command starts).
function(tarvex_add_test name)
    cmake_parse_arguments(ARG "DISPLAY" "" "SOURCES;LIBS" ${ARGN})
    set(target test_${name})
    add_executable(${target} ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE tarvex_test_support ${ARG_LIBS})
    add_test(NAME ${name} COMMAND ${target})
    set(env "QTWEBENGINE_DISABLE_SANDBOX=1"
            "TARVEX_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
            "QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu --no-sandbox --disable-background-networking")
    if(NOT ARG_DISPLAY)
        list(APPEND env "QT_QPA_PLATFORM=offscreen")
    endif()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 600)
endfunction()
