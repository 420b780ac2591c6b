# The splash and the about box are compiled into their test directly, so that the test does not
# need the whole main window to build.
tarvex_add_test(SplashAbout
    SOURCES
        SplashAboutTest.cpp
        ${PROJECT_SOURCE_DIR}/src/app/SplashUnit.cpp
        ${PROJECT_SOURCE_DIR}/src/app/AboutUsUnit.cpp
    LIBS tarvex_ui_common
    DISPLAY)
