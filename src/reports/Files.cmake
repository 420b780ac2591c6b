list(APPEND REPORTS_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ResultFiles.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Rtf.cpp)
list(APPEND REPORTS_UI_SOURCES ${CMAKE_CURRENT_LIST_DIR}/FileManager.cpp
                               ${CMAKE_CURRENT_LIST_DIR}/FileManagerShell.cpp)
