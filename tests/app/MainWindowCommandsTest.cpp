// Every command of the main window that a button, a Help-menu entry or a popup entry reaches is
// clicked, and what the command does is checked: a control wired to another command fails here.
// Real windows on a real display, since some of the commands open the embedded browser.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include "app/MainMenuUnit.h"
#include "app/SingleInstances.h"
#include "common/CommandGuard.h"
#include "common/DataPaths.h"
#include "reports/FileManager.h"
#include "support/TestSupport.h"

namespace {

// Records the secondary windows that open and closes each again (Cancel) once it has shown
// itself, so that commands opening modal windows can run in a test.
class WindowCloser final : public QObject {
  public:
    WindowCloser() { qApp->installEventFilter(this); }
    ~WindowCloser() override { qApp->removeEventFilter(this); }

    QStringList Take() {
        const QStringList opened = opened_;
        opened_.clear();
        return opened;
    }

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        auto *dialog = qobject_cast<QDialog *>(watched);
        if (event->type() == QEvent::Show && dialog != nullptr && dialog->isWindow()) {
            opened_ << dialog->objectName();
            // Some windows start their work just after showing; let it start, then cancel.
            QTimer::singleShot(150, dialog, [dialog] { dialog->reject(); });
        }
        return false;
    }

  private:
    QStringList opened_;
};

class MainWindowCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        previousDirectory_ = QDir::currentPath();
        QDir::setCurrent(SourcePath(QStringLiteral("resources/images")));
        SetErrorReporter([this](const QString &text) { errors_ << text; });
        // Every service the opened windows reach points at a closed port on this machine.
        ASSERT_TRUE(QDir().mkpath(SystemFolder()));
        QFile settings(SettingsFilePath());
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write(
            "[SERVICES]\nHelp URL=http://127.0.0.1:1\nPublic Map URL=http://127.0.0.1:1/\n"
            "Download URL=http://127.0.0.1:1\nWhois Server=127.0.0.1:1\n"
            "Geolocation URL=http://127.0.0.1:1\nMaps Script URL=http://127.0.0.1:1\n"
            "Mail Server=127.0.0.1:1\n");
        settings.close();
        CreateSingleInstances();
        form_ = MainMenuForm;
        form_->show();
        form_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form_));
        QApplication::clipboard()->clear();
    }

    void TearDown() override {
        DestroySingleInstances();
        SetErrorReporter({});
        QDir::setCurrent(previousDirectory_);
    }

    ScopedHome home_;
    QString previousDirectory_;
    QStringList errors_;
    TMainMenuForm *form_ = nullptr;
};

TEST_F(MainWindowCommands, EveryToolBarButtonRunsItsCommand) {
    WindowCloser closer;
    const auto panesFilled = [this] {
        form_->DebugMemo->setPlainText(QStringLiteral("old results"));
        form_->AddressMemo->setPlainText(QStringLiteral("old addresses"));
    };
    const struct {
        QToolButton *button;
        QStringList opens;
        std::function<void()> before;
        std::function<void()> check;
    } rows[] = {
        {form_->findChild<QToolButton *>(QStringLiteral("ClearAllButton")),
         {},
         panesFilled,
         [this] {
             EXPECT_TRUE(form_->DebugMemo->toPlainText().isEmpty());
             EXPECT_TRUE(form_->AddressMemo->toPlainText().isEmpty());
         }},
        {form_->findChild<QToolButton *>(QStringLiteral("LoadAddressListButton")),
         {QStringLiteral("LocalFile")},
         {},
         [] { EXPECT_EQ(LocalFile->FunctionIndex, 1); }},
        {form_->findChild<QToolButton *>(QStringLiteral("SaveResultsButton")),
         {QStringLiteral("LocalFile")},
         {},
         [] { EXPECT_EQ(LocalFile->FunctionIndex, 2); }},
        {form_->findChild<QToolButton *>(QStringLiteral("ReportButton")),
         {QStringLiteral("ReportForm")},
         {},
         {}},
        // An address without a listed zone gives "No results." without any connection.
        {form_->AddressInformationButton,
         {},
         [this] { form_->AddressEdit->setText(QStringLiteral("example.invalid")); },
         [this] {
             EXPECT_TRUE(form_->DebugMemo->toPlainText().contains(QStringLiteral("No results.")));
         }},
        {form_->findChild<QToolButton *>(QStringLiteral("GeolocationMapButton")),
         {QStringLiteral("GeolocationForm")},
         {},
         {}},
        // The list run pings each address of the list: here 127.0.0.1.
        {form_->AddressGeolocationButton,
         {},
         [this, panesFilled] {
             panesFilled();
             form_->AddressList = QStringList{QStringLiteral("127.0.0.1")};
         },
         [this] {
             EXPECT_TRUE(
                 form_->DebugMemo->toPlainText().contains(QStringLiteral("Reply from 127.0.0.1")))
                 << form_->DebugMemo->toPlainText().toStdString();
             EXPECT_TRUE(form_->AddressMemo->toPlainText().contains(QStringLiteral("127.0.0.1")));
         }},
        {form_->CheckAddressURLButton, {QStringLiteral("SystemSettings")}, {}, {}},
    };
    for (const auto &row : rows) {
        ASSERT_NE(row.button, nullptr);
        SCOPED_TRACE(row.button->objectName().toStdString());
        LocalFile->FunctionIndex = 99;
        if (row.before) {
            row.before();
        }
        QTest::mouseClick(row.button, Qt::LeftButton);
        EXPECT_TRUE(WaitUntil([] { return QApplication::activeModalWidget() == nullptr; }));
        EXPECT_EQ(closer.Take(), row.opens);
        if (row.check) {
            row.check();
        }
    }
}

TEST_F(MainWindowCommands, HelpMenuEntriesOpenTheirWindows) {
    WindowCloser closer;
    QMenu *help = form_->findChild<QMenu *>(QStringLiteral("Help1"));
    ASSERT_NE(help, nullptr);
    QStringList opened;
    for (QAction *entry : help->actions()) {
        if (entry->isSeparator()) {
            continue;
        }
        entry->trigger();
        EXPECT_TRUE(WaitUntil([] { return QApplication::activeModalWidget() == nullptr; }));
        opened << closer.Take();
    }
    EXPECT_EQ(opened, (QStringList{"HelpForm", "ContactForm", "UpgradeForm", "AboutUsForm"}));
}

TEST_F(MainWindowCommands, PopupEntriesActOnTheSelectedPane) {
    WindowCloser closer;
    const auto entry = [this](const char *name) {
        QAction *action = form_->ResultPopupMenu->findChild<QAction *>(QString::fromLatin1(name));
        EXPECT_NE(action, nullptr) << name;
        return action;
    };
    QTextEdit *pane = form_->DebugMemo;
    pane->setPlainText(QStringLiteral("alpha beta"));
    QTest::mouseClick(pane->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 5));
    const auto text = [pane] { return pane->toPlainText(); };

    entry("PopupSelectAll")->trigger();
    EXPECT_EQ(pane->textCursor().selectedText(), QStringLiteral("alpha beta"));
    entry("PopupCopy")->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("alpha beta"));
    entry("PopupDelete")->trigger();
    EXPECT_EQ(text(), QString());
    entry("PopupUndo")->trigger();
    EXPECT_EQ(text(), QStringLiteral("alpha beta"));
    entry("PopupRedo")->trigger();
    EXPECT_EQ(text(), QString());
    entry("PopupPaste")->trigger();
    EXPECT_EQ(text(), QStringLiteral("alpha beta"));
    entry("PopupSelectAll")->trigger();
    QApplication::clipboard()->clear();
    entry("PopupCut")->trigger();
    EXPECT_EQ(text(), QString());
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("alpha beta"));
    EXPECT_TRUE(closer.Take().isEmpty());

    LocalFile->FunctionIndex = 99;
    entry("PopupSave")->trigger();
    EXPECT_EQ(closer.Take(), QStringList{QStringLiteral("LocalFile")});
    EXPECT_EQ(LocalFile->FunctionIndex, 2);

    pane->setPlainText(QStringLiteral("to be cleared"));
    form_->AddressMemo->setPlainText(QStringLiteral("kept"));
    entry("PopupNew")->trigger();
    EXPECT_EQ(text(), QString());
    EXPECT_EQ(form_->AddressMemo->toPlainText(), QStringLiteral("kept"));
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join("\n").toStdString();
}

}  // namespace
