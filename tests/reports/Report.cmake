tarvex_add_test(report_body
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ReportBodyTest.cpp
    LIBS tarvex_core_reports)
tarvex_add_test(report_engine
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ReportEngineTest.cpp
    LIBS tarvex_core_reports)
tarvex_add_test(report_window
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ReportWindowTest.cpp
    LIBS tarvex_ui_reports)
