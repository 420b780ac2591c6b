#include "support/ProgramWindows.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QTest>
#include <QTextEdit>

#include "app/MainMenuUnit.h"
#include "app/SingleInstances.h"
#include "common/CommandGuard.h"
#include "common/DataPaths.h"
#include "common/TX_Edit.h"
#include "ping/EchoService.h"
#include "settings/Services.h"
#include "settings/SettingsModel.h"

void ProgramWindowsTest::SetUp() {
    previousDirectory_ = QDir::currentPath();
    // The marker pictures are copied from the working folder at the first showing.
    QDir::setCurrent(SourcePath(QStringLiteral("resources/images")));
    SetErrorReporter([this](const QString &text) { errors_ << text; });
    QApplication::clipboard()->clear();
    PrepareHome();

    CreateSingleInstances();
    form_ = MainMenuForm;
    form_->show();
    form_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_));
}

void ProgramWindowsTest::TearDown() {
    FinishRun();
    SetEchoServiceFactory({});
    DestroySingleInstances();
    SetServiceSettings({});
    SetErrorReporter({});
    QDir::setCurrent(previousDirectory_);
}

void ProgramWindowsTest::WriteSettingsFile(const QByteArray &text) {
    ASSERT_TRUE(QDir().mkpath(SystemFolder()));
    WriteBytes(SettingsFilePath(), text);
}

TSettingsModel *ProgramWindowsTest::Settings() {
    auto *settings = MainMenuForm->findChild<TSettingsModel *>(QStringLiteral("SettingsModel"));
    EXPECT_NE(settings, nullptr);
    return settings;
}

void ProgramWindowsTest::Press(int key, Qt::KeyboardModifiers modifiers) {
    QWidget *target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
}

void ProgramWindowsTest::FinishRun() {
    if (MainMenuForm != nullptr) {
        EXPECT_TRUE(
            WaitUntil([] { return MainMenuForm == nullptr || !MainMenuForm->IsRunning(); }, 120000))
            << "the run did not end";
    }
}

QStringList ProgramWindowsTest::Lines(QTextEdit *pane) {
    return PaneLines(pane->document());
}
