find_package(Qt6 REQUIRED COMPONENTS Test)

tarvex_add_test(watch_window SOURCES ${CMAKE_CURRENT_LIST_DIR}/WatchWindowTest.cpp
                ${PROJECT_SOURCE_DIR}/tests/support/EchoNamespace.cpp
                LIBS tarvex_ui tarvex_test_windows Qt6::Test)

tarvex_add_test(watch_list_window SOURCES ${CMAKE_CURRENT_LIST_DIR}/WatchListWindowTest.cpp
                ${PROJECT_SOURCE_DIR}/tests/support/EchoNamespace.cpp
                LIBS tarvex_ui tarvex_test_windows Qt6::Test Qt6::DBus Qt6::Charts)
