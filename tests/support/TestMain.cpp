// Shared main of every test executable: a QApplication (offscreen unless the test asks for a
// display) and a private home folder, so that no test touches the user's documents.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "common/DesktopOpen.h"

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_DOCUMENTS_DIR", (home.path() + QStringLiteral("/Documents")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvex"));
    SetDesktopOpenEnabled(false);
    return RUN_ALL_TESTS();
}
