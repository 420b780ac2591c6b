find_package(Qt6 REQUIRED COMPONENTS Test)

tarvex_add_test(files_rtf SOURCES RtfTest.cpp LIBS tarvex_core_reports)
tarvex_add_test(files_results SOURCES ResultFilesTest.cpp LIBS tarvex_core_reports tarvex_core_common)
tarvex_add_test(files_window SOURCES FileManagerTest.cpp LIBS tarvex_ui_reports Qt6::Test)
tarvex_add_test(files_commands SOURCES FileCommandsTest.cpp LIBS tarvex_ui tarvex_test_windows Qt6::Test)
