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
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QWebEngineView>
#include <functional>

#include "app/MainMenuUnit.h"
#include "app/SingleInstances.h"
#include "common/BrowserWindows.h"
#include "common/CommandGuard.h"
#include "common/DataPaths.h"
#include "contact/ContactUnit.h"
#include "files/FileManager.h"
#include "reports/ReportUnit.h"
#include "settings/SystemSettingsUnit.h"
#include "support/ProgramWindows.h"
#include "update/UpdateUnit.h"

namespace {

// The browser of a window that holds one (the map and help windows come from the browser module
// when they first open; their parts are found by name).
QWebEngineView *Browser(QDialog *window) {
    return window->findChild<QWebEngineView *>(QStringLiteral("WB"));
}

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

class MainWindowCommands : public ProgramWindowsTest {
  protected:
    // Every service the opened windows reach points at a closed port on this machine.
    void PrepareHome() override {
        WriteSettingsFile(
            "[SERVICES]\nHelp URL=http://127.0.0.1:1\nPublic Map URL=http://127.0.0.1:1/\n"
            "Download URL=http://127.0.0.1:1\nWhois Server=127.0.0.1:1\n"
            "Geolocation URL=http://127.0.0.1:1\nMaps Script URL=http://127.0.0.1:1\n"
            "Mail Server=127.0.0.1:1\n");
    }
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
         [] { EXPECT_EQ(LocalFile()->FunctionIndex, 1); }},
        {form_->findChild<QToolButton *>(QStringLiteral("SaveResultsButton")),
         {QStringLiteral("LocalFile")},
         {},
         [] { EXPECT_EQ(LocalFile()->FunctionIndex, 2); }},
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
        LocalFile()->FunctionIndex = 99;
        if (row.before) {
            row.before();
        }
        QTest::mouseClick(row.button, Qt::LeftButton);
        EXPECT_TRUE(WaitUntil([] { return QApplication::activeModalWidget() == nullptr; }));
        FinishRun();
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

    LocalFile()->FunctionIndex = 99;
    entry("PopupSave")->trigger();
    EXPECT_EQ(closer.Take(), QStringList{QStringLiteral("LocalFile")});
    EXPECT_EQ(LocalFile()->FunctionIndex, 2);

    pane->setPlainText(QStringLiteral("to be cleared"));
    form_->AddressMemo->setPlainText(QStringLiteral("kept"));
    entry("PopupNew")->trigger();
    EXPECT_EQ(text(), QString());
    EXPECT_EQ(form_->AddressMemo->toPlainText(), QStringLiteral("kept"));
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join("\n").toStdString();
}

}  // namespace

namespace {

// Runs xdotool on the test's own X server.
bool XdoTool(const QStringList &arguments) {
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), arguments);
    return tool.waitForFinished(10000) && tool.exitCode() == 0;
}

}  // namespace

// While a secondary window is open, a real click into the main window's address field and typing
// there reach nothing: every secondary window blocks the main window.
TEST_F(MainWindowCommands, EverySecondaryWindowBlocksTheMainWindow) {
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty() ||
        QGuiApplication::platformName() != QLatin1String("xcb")) {
        GTEST_SKIP() << "needs xdotool and an X server";
    }
    const struct {
        const char *window;
        QAction *command;
    } rows[] = {
        {"HelpForm", form_->OnLineHelpAction},
        {"ContactForm", form_->ContsctUsAction},
        {"UpgradeForm", form_->CheckForUpdatesAction},
        {"AboutUsForm", form_->AboutTarvexAction},
        {"SystemSettings", form_->SystemSettingsAction},
        {"GeolocationForm", form_->AddressGeolocationAction},
        {"ReportForm", form_->CreateReportAction},
        {"LocalFile", form_->SaveResultsAction},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.window);
        form_->AddressEdit->setText(QStringLiteral("before"));
        QString typed;
        bool probed = false;
        WhileOpen(row.command, QString::fromLatin1(row.window), [&](QDialog *) {
            QTest::qWait(300);  // whatever the window does once shown has started
            const QPoint field =
                form_->AddressEdit->mapToGlobal(form_->AddressEdit->rect().center());
            EXPECT_TRUE(XdoTool({QStringLiteral("mousemove"), QString::number(field.x()),
                                 QString::number(field.y()), QStringLiteral("click"),
                                 QStringLiteral("1")}));
            EXPECT_TRUE(XdoTool({QStringLiteral("type"), QStringLiteral("xyz")}));
            QTest::qWait(300);
            typed = form_->AddressEdit->text();
            probed = true;
        });
        EXPECT_TRUE(probed);
        EXPECT_EQ(typed, QStringLiteral("before"));
    }
}

// Restoring a minimised window is no new opening: what the user did in it stays.
TEST_F(MainWindowCommands, RestoringAMinimisedWindowKeepsItAsItWas) {
    const struct {
        const char *window;
        QAction *command;
        std::function<void()> change;
        std::function<void()> check;
    } rows[] = {
        {"LocalFile", form_->SaveResultsAction,
         [] { LocalFile()->FileNameEdit->setText(QStringLiteral("typed")); },
         [] {
             EXPECT_EQ(LocalFile()->FileNameEdit->text(), QStringLiteral("typed"));
             EXPECT_EQ(LocalFile()->FunctionIndex, 2);
         }},
        {"HelpForm", form_->OnLineHelpAction,
         [] { Browser(HelpForm->Window())->setUrl(QUrl(QStringLiteral("about:blank#elsewhere"))); },
         [] {
             EXPECT_EQ(Browser(HelpForm->Window())->url(),
                       QUrl(QStringLiteral("about:blank#elsewhere")));
         }},
        {"ContactForm", form_->ContsctUsAction, [] { ContactForm->SubjectEdit->setFocus(); },
         [] { EXPECT_EQ(ContactForm->focusWidget(), ContactForm->SubjectEdit); }},
        {"UpgradeForm", form_->CheckForUpdatesAction,
         [] { UpgradeForm->InformationLabel_1->setText(QStringLiteral("kept")); },
         [] { EXPECT_EQ(UpgradeForm->InformationLabel_1->text(), QStringLiteral("kept")); }},
        {"GeolocationForm", form_->AddressGeolocationAction,
         [] {
             Browser(GeolocationForm->Window())
                 ->setUrl(QUrl(QStringLiteral("about:blank#elsewhere")));
         },
         [] {
             EXPECT_EQ(Browser(GeolocationForm->Window())->url(),
                       QUrl(QStringLiteral("about:blank#elsewhere")));
         }},
        {"ReportForm", form_->CreateReportAction,
         [] {
             // The window opens at the page's width; from 100 % a step up gives 110 %.
             ReportForm->ZoomPercent->setText(QStringLiteral("100"));
             ReportForm->ZoomPercentChange();
             ReportForm->ZoomUpAction->trigger();
         },
         [] { EXPECT_EQ(ReportForm->ZoomPercent->text(), QStringLiteral("110")); }},
        {"SystemSettings", form_->SystemSettingsAction,
         [] { SystemSettings->PingTimeOut->setText(QStringLiteral("1234")); },
         [] { EXPECT_EQ(SystemSettings->PingTimeOut->text(), QStringLiteral("1234")); }},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.window);
        QDialog *opened =
            WhileOpen(row.command, QString::fromLatin1(row.window), [&row](QDialog *window) {
                QTest::qWait(300);  // what the window starts once shown (lookups, a page) has run
                row.change();
                window->showMinimized();
                QTest::qWait(100);
                window->showNormal();
                QTest::qWait(300);
                row.check();
            });
        EXPECT_NE(opened, nullptr);
    }
}
