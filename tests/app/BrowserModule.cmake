find_package(Qt6 REQUIRED COMPONENTS Test)

# Runs without the browser engine linked: whether the engine is loaded is part of what it checks.
tarvex_add_test(browser_module SOURCES ${CMAKE_CURRENT_LIST_DIR}/BrowserModuleTest.cpp
                LIBS tarvex_ui tarvex_test_windows Qt6::Test DISPLAY)
