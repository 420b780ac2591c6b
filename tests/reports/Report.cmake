tarvex_add_test(report_body
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ReportBodyTest.cpp
    LIBS tarvex_core_reports)
tarvex_add_test(report_engine
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ReportEngineTest.cpp
    LIBS tarvex_core_reports tarvex_core_common)
tarvex_add_test(report_window
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ReportWindowTest.cpp
    LIBS tarvex_ui_reports tarvex_ui_common tarvex_core_reports tarvex_core_common Qt6::PrintSupport)
