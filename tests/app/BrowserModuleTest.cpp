// The browser module as the program uses it: the program starts without the browser engine, the
// map and help windows come from the module the first time they open, and a module that cannot
// be loaded is reported in words while the program goes on.
//
// The tests run in the order written, in one process: the engine, once loaded, stays. So the
// test of the start comes first, the failures next, the real opening last.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/MainMenuUnit.h"
#include "app/SingleInstances.h"
#include "common/BrowserWindows.h"
#include "common/CommandGuard.h"
#include "common/DataPaths.h"
#include "support/ProgramWindows.h"

namespace {

// Whether any library of the browser engine is mapped into this process.
bool EngineLoaded() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    EXPECT_TRUE(maps.open(QIODevice::ReadOnly));
    return maps.readAll().contains("libQt6WebEngine");
}

class BrowserModule : public ProgramWindowsTest {
  protected:
    // The pages the windows open point at a closed port on this machine.
    void PrepareHome() override {
        WriteSettingsFile(
            "[GOOGLE MAPS ID]\nGoogle Maps Key=KEY-FROM-FILE\n"
            "[SERVICES]\nHelp URL=http://127.0.0.1:1\nPublic Map URL=http://127.0.0.1:1/\n"
            "Geolocation URL=http://127.0.0.1:1\nMaps Script URL=http://127.0.0.1:1\n");
    }

    void TearDown() override {
        ProgramWindowsTest::TearDown();
        SetBrowserModulePath({});
    }
};

TEST_F(BrowserModule, TheProgramStartsWithoutTheBrowserEngine) {
    EXPECT_FALSE(EngineLoaded());
    EXPECT_EQ(GeolocationForm->Window(), nullptr);
    EXPECT_EQ(HelpForm->Window(), nullptr);
    // What the rest of the program hands the map window is held from the start.
    EXPECT_EQ(GeolocationForm->GoogleKey, QStringLiteral("KEY-FROM-FILE"));
    EXPECT_FALSE(GeolocationForm->StartGeolocation);
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join(QLatin1Char('\n')).toStdString();
}

TEST_F(BrowserModule, AModuleThatCannotBeLoadedIsReportedAndTheProgramGoesOn) {
    QTemporaryDir folder;
    const QString text = folder.filePath(QStringLiteral("not-a-library.so"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("this is not a shared library\n");
    file.close();
    const struct {
        const char *what;
        QString path;
        QString error;
    } rows[] = {
        {"missing", folder.filePath(QStringLiteral("missing.so")),
         QStringLiteral("The browser module of Tarvex is missing (looked for %1).")
             .arg(folder.filePath(QStringLiteral("missing.so")))},
        {"not a library", text, QStringLiteral("The browser module of Tarvex cannot be loaded: ")},
        // A real library without the module's entry point.
        {"another library", QStringLiteral("/lib/x86_64-linux-gnu/libz.so.1"),
         QStringLiteral("The browser module of Tarvex cannot be loaded: ")},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        errors_.clear();
        SetBrowserModulePath(row.path);
        EXPECT_EQ(WhileOpen(form_->AddressGeolocationAction, QString(), {}), nullptr);
        EXPECT_EQ(WhileOpen(form_->OnLineHelpAction, QString(), {}), nullptr);
        ASSERT_EQ(errors_.size(), 2);
        for (const QString &error : errors_) {
            EXPECT_TRUE(error.startsWith(row.error)) << error.toStdString();
        }
        EXPECT_EQ(GeolocationForm->Window(), nullptr);
        EXPECT_EQ(HelpForm->Window(), nullptr);
        EXPECT_FALSE(EngineLoaded());
        // The program goes on: another command still works.
        form_->AddressEdit->setText(QStringLiteral("something"));
        form_->ClearAllAction->trigger();
        EXPECT_TRUE(form_->AddressEdit->text().isEmpty());
    }
}

TEST_F(BrowserModule, MapAndHelpOpenFromTheModuleOnFirstUse) {
    QDialog *map = WhileOpen(form_->AddressGeolocationAction, QString(), {});
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map, GeolocationForm->Window());
    EXPECT_EQ(map->objectName(), QStringLiteral("GeolocationForm"));
    EXPECT_EQ(map->windowTitle(), QStringLiteral("Address Geolocation"));
    EXPECT_TRUE(EngineLoaded());
    // The window works on the program's values: the key read from the settings file when it
    // opened is the one the rest of the program sees, and a key typed into it too.
    auto *keyEdit = map->findChild<QLineEdit *>(QStringLiteral("GoogleKeyEdit"));
    ASSERT_NE(keyEdit, nullptr);
    EXPECT_EQ(keyEdit->text(), QStringLiteral("KEY-FROM-FILE"));
    keyEdit->setText(QStringLiteral("TYPED-KEY"));
    QTest::keyClick(keyEdit, Qt::Key_Return);
    EXPECT_EQ(GeolocationForm->GoogleKey, QStringLiteral("TYPED-KEY"));

    // Opened again, it is the same window.
    EXPECT_EQ(WhileOpen(form_->AddressGeolocationAction, QString(), {}), map);

    QDialog *help = WhileOpen(form_->OnLineHelpAction, QString(), {});
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help, HelpForm->Window());
    EXPECT_EQ(help->objectName(), QStringLiteral("HelpForm"));
    EXPECT_EQ(help->windowTitle(), QStringLiteral("On-line help"));
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join(QLatin1Char('\n')).toStdString();
}

}  // namespace
