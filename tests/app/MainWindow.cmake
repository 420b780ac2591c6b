find_package(Qt6 REQUIRED COMPONENTS Test)

tarvex_add_test(main_window SOURCES ${CMAKE_CURRENT_LIST_DIR}/MainWindowTest.cpp
                ${PROJECT_SOURCE_DIR}/tests/support/EchoNamespace.cpp
                LIBS tarvex_ui tarvex_test_windows Qt6::Test Qt6::Charts Qt6::PrintSupport)
tarvex_add_test(main_window_commands SOURCES ${CMAKE_CURRENT_LIST_DIR}/MainWindowCommandsTest.cpp
                LIBS tarvex_ui tarvex_test_windows Qt6::Test Qt6::WebEngineWidgets DISPLAY)
# It clicks and types on the X server with xdotool: alone, so that no other test's window takes
# those clicks or loses the keyboard to it.
set_tests_properties(main_window_commands PROPERTIES RUN_SERIAL TRUE)
