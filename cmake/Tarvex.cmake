# Each source folder builds two static libraries: tarvex_core_<folder> (rules of the system,
# Qt Core/Gui only) and tarvex_ui_<folder> (windows). tarvex_core and tarvex_ui gather them so
# that the program links everything, while a test links only the folders it exercises and keeps
# building while another folder is half-way through a change.

set_property(GLOBAL PROPERTY TARVEX_CORE_LIBS "")
set_property(GLOBAL PROPERTY TARVEX_UI_LIBS "")
set_property(GLOBAL PROPERTY TARVEX_BROWSER_LIBS "")

# The browser module: installed into lib/tarvex/ (a private folder, not the linker's path), built
# beside the program.
set(TARVEX_BROWSER_MODULE_NAME tarvex-browser)
set(TARVEX_BROWSER_MODULE_DIR ${CMAKE_INSTALL_LIBDIR}/tarvex)
set(TARVEX_BROWSER_MODULE_BUILT
    ${PROJECT_BINARY_DIR}/src/${TARVEX_BROWSER_MODULE_NAME}${CMAKE_SHARED_MODULE_SUFFIX})

# A library's DEPENDS name what its own sources use, no more and no less: the other libraries
# whose headers they include, the Qt modules beyond the base one (Qt Core for the core, Qt
# Widgets for the windows), Threads and libcurl. They are linked PRIVATE: a library above gets
# nothing from them but the link, so what a dependency happens to bring with it cannot be
# counted on, and a missing DEPENDS fails the build of the library that lacks it.

# Each folder's headers are reached as "<folder>/<name>.h" through an include folder of their own
# that holds only that folder, so a library sees the headers of its own folder and of its
# DEPENDS, and no others: including another folder's header without naming its library fails.
set(TARVEX_INCLUDE_ROOT ${PROJECT_BINARY_DIR}/folder-headers)
function(tarvex_folder_headers folder)
    set(link ${TARVEX_INCLUDE_ROOT}/${folder}/${folder})
    if(NOT EXISTS ${link})
        file(MAKE_DIRECTORY ${TARVEX_INCLUDE_ROOT}/${folder})
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${link} SYMBOLIC)
    endif()
endfunction()

# tarvex_core_library(<folder> SOURCES ... [DEPENDS <libs>])
function(tarvex_core_library folder)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    set(target tarvex_core_${folder})
    add_library(${target} STATIC ${ARG_SOURCES})
    target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${TARVEX_INCLUDE_ROOT}/${folder}>)
    tarvex_folder_headers(${folder})
    target_link_libraries(${target} PUBLIC Qt6::Core PRIVATE ${ARG_DEPENDS})
    set_property(GLOBAL APPEND PROPERTY TARVEX_CORE_LIBS ${target})
endfunction()

# tarvex_ui_library(<folder> [BROWSER] SOURCES ... [DEPENDS <libs>])
# BROWSER: windows that hold the embedded browser. They link the browser engine and go into the
# browser module (src/CMakeLists.txt), which the program loads when one of them first opens; the
# program itself never links the engine, so that its libraries stay off the start.
function(tarvex_ui_library folder)
    cmake_parse_arguments(ARG "BROWSER" "" "SOURCES;DEPENDS" ${ARGN})
    set(target tarvex_ui_${folder})
    add_library(${target} STATIC ${ARG_SOURCES})
    target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${TARVEX_INCLUDE_ROOT}/${folder}>)
    tarvex_folder_headers(${folder})
    target_link_libraries(${target} PUBLIC Qt6::Widgets PRIVATE ${ARG_DEPENDS})
    if(ARG_BROWSER)
        target_link_libraries(${target} PRIVATE Qt6::WebEngineWidgets)
        set_property(GLOBAL APPEND PROPERTY TARVEX_BROWSER_LIBS ${target})
    else()
        set_property(GLOBAL APPEND PROPERTY TARVEX_UI_LIBS ${target})
    endif()
endfunction()

# tarvex_browser_host(<executable>)
# An executable that loads the browser module: the module takes every piece of the program it
# uses (data module, settings, page building, window parts) from the executable that loaded it,
# so the executable exports its symbols and carries each of its libraries whole, not only the
# objects that its own code happens to use.
function(tarvex_browser_host target)
    get_property(core_libs GLOBAL PROPERTY TARVEX_CORE_LIBS)
    get_property(ui_libs GLOBAL PROPERTY TARVEX_UI_LIBS)
    set_target_properties(${target} PROPERTIES ENABLE_EXPORTS ON)
    foreach(lib ${core_libs} ${ui_libs})
        set_property(TARGET ${target} PROPERTY LINK_LIBRARY_OVERRIDE_${lib} WHOLE_ARCHIVE)
    endforeach()
    add_dependencies(${target} tarvex_browser)
endfunction()

# The libraries a test may link and still count as a core test: the core libraries, the shared
# test support and what those bring.
set(TARVEX_CORE_TEST_LIBS tarvex_test_support tarvex_test_namespaces Threads::Threads Qt6::Test)

# tarvex_add_test(<name> SOURCES ... LIBS ... [DISPLAY])
# One executable per unit, run by CTest. Tests run with the offscreen platform unless DISPLAY
# is given (web engine and real windowing need the X server that the test command starts).
# A test that links only core libraries and needs no display is a core test: the target
# core_tests builds them all and core-tests.txt in the build folder names them
# (tarvex_core_tests), so that the ThreadSanitizer build (scripts/tsan.sh) builds and runs them
# without any window.
function(tarvex_add_test name)
    cmake_parse_arguments(ARG "DISPLAY" "" "SOURCES;LIBS" ${ARGN})
    set(target test_${name})
    add_executable(${target} ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE tarvex_test_support ${ARG_LIBS})
    if(TARVEX_TSAN)
        target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/TsanRealFork.cpp)
        target_link_libraries(${target} PRIVATE ${CMAKE_DL_LIBS})
    endif()
    add_test(NAME ${name} COMMAND ${target})
    set(core TRUE)
    foreach(lib ${ARG_LIBS})
        if(NOT lib MATCHES "^tarvex_core_" AND NOT lib IN_LIST TARVEX_CORE_TEST_LIBS)
            set(core FALSE)
        endif()
    endforeach()
    if(core AND NOT ARG_DISPLAY)
        set_property(GLOBAL APPEND PROPERTY TARVEX_CORE_TESTS ${name})
    endif()
    # A test of the whole program opens the map and help windows as the program does.
    if(tarvex_ui IN_LIST ARG_LIBS)
        tarvex_browser_host(${target})
    endif()
    set(env "QTWEBENGINE_DISABLE_SANDBOX=1"
            "TARVEX_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
            "QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu --no-sandbox --disable-background-networking")
    if(NOT ARG_DISPLAY)
        list(APPEND env "QT_QPA_PLATFORM=offscreen")
    endif()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 600)
    if(ARG_DISPLAY)
        # The tests on the X server share one keyboard focus: a window that one of them shows
        # takes the focus from another's, whose keys then reach no window. One at a time.
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK x_display)
    endif()
endfunction()

# tarvex_core_tests()
# After every test is declared: the target core_tests, and core-tests.txt with the names of the
# core tests, one a line.
# A test that needs another target built first (the program, which it starts) is not one of
# them, whatever it links.
function(tarvex_core_tests)
    add_custom_target(core_tests)
    get_property(tests GLOBAL PROPERTY TARVEX_CORE_TESTS)
    set(names "")
    foreach(name ${tests})
        get_target_property(needs test_${name} MANUALLY_ADDED_DEPENDENCIES)
        if(needs)
            continue()
        endif()
        add_dependencies(core_tests test_${name})
        string(APPEND names "${name}\n")
    endforeach()
    file(WRITE ${PROJECT_BINARY_DIR}/core-tests.txt "${names}")
endfunction()
