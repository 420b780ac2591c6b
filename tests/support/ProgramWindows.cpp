#include "support/ProgramWindows.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include "app/MainMenuUnit.h"
#include "app/SingleInstances.h"
#include "common/DataPaths.h"
#include "common/TX_Edit.h"
#include "files/FileManager.h"
#include "lookup/DataUnit.h"
#include "settings/SettingsModel.h"

void ProgramWindowsTest::SetUp() {
    previousDirectory_ = QDir::currentPath();
    // The marker pictures are copied from the working folder at the first showing.
    QDir::setCurrent(SourcePath(QStringLiteral("resources/images")));
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
    DestroySingleInstances();
    QDir::setCurrent(previousDirectory_);
}

void ProgramWindowsTest::UseEchoService(TEchoServiceFactory factory) {
    form_->SetEchoService(std::move(factory));
}

void ProgramWindowsTest::WriteSettingsFile(const QByteArray &text) {
    ASSERT_TRUE(QDir().mkpath(SystemFolder()));
    WriteBytes(SettingsFilePath(), text);
}

namespace {

// The main window's child named `name`, found as an end-to-end test finds it.
template <typename T>
T *ProgramPart(const char *name) {
    T *part = MainMenuForm->findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(part, nullptr) << name;
    return part;
}

}  // namespace

TSettingsModel *ProgramWindowsTest::Settings() {
    return ProgramPart<TSettingsModel>("SettingsModel");
}

TLocalFile *ProgramWindowsTest::LocalFile() {
    return ProgramPart<TLocalFile>("LocalFile");
}

TPingDataModule *ProgramWindowsTest::PingDataModule() {
    return ProgramPart<TPingDataModule>("PingDataModule");
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

QDialog *ProgramWindowsTest::WhileOpen(QAction *command, const QString &windowName,
                                       const std::function<void(QDialog *)> &whileOpen) {
    // Looked for while the command runs: the window opens inside it, or not at all.
    QDialog *shown = nullptr;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget *top : QApplication::topLevelWidgets()) {
            auto *window = qobject_cast<QDialog *>(top);
            // Found by name: activeModalWidget() does not see every modal window.
            if (window == nullptr || !window->isVisible() ||
                (windowName.isEmpty() ? !window->isModal() : window->objectName() != windowName)) {
                continue;
            }
            poll.stop();
            shown = window;
            if (whileOpen) {
                whileOpen(window);
            }
            if (window->isVisible()) {
                window->reject();
            }
            return;
        }
    });
    poll.start();
    command->trigger();
    return shown;
}

QStringList ProgramWindowsTest::Lines(QTextEdit *pane) {
    return PaneLines(pane->document());
}
