// The main window's four file commands, driven through the real file window: address lists,
// result files and pane texts.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>

#include "app/AboutUsUnit.h"
#include "app/MainMenuUnit.h"
#include "app/SingleInstances.h"
#include "app/SplashUnit.h"
#include "common/BrowserWindows.h"
#include "common/CommandGuard.h"
#include "common/Errors.h"
#include "common/ExchangeLimits.h"
#include "common/TX_EditOps.h"
#include "common/TX_Net.h"
#include "contact/ContactUnit.h"
#include "files/FileManager.h"
#include "files/Rtf.h"
#include "lookup/DataUnit.h"
#include "ping/EchoService.h"
#include "reports/ReportUnit.h"
#include "settings/SystemSettingsUnit.h"
#include "support/ProgramWindows.h"
#include "update/UpdateUnit.h"

namespace {

QTextDocument *Read(const QString &path, QTextDocument *into) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    ReadRtf(file.readAll(), into);
    return into;
}

QString UnrtfText(const QString &path) {
    QProcess unrtf;
    unrtf.start(QStringLiteral("unrtf"), {QStringLiteral("--text"), path});
    EXPECT_TRUE(unrtf.waitForFinished(60000));
    return QString::fromLatin1(unrtf.readAllStandardOutput());
}

class FileCommands : public ProgramWindowsTest {
  protected:
    void SetUp() override {
        ProgramWindowsTest::SetUp();
        QApplication::clipboard()->setText(QStringLiteral("the user's clipboard"));
        folder_ = QDir(dir_.path()).canonicalPath();
    }

    QAction *Action(const char *name) const {
        auto *action = form_->findChild<QAction *>(QString::fromLatin1(name));
        EXPECT_NE(action, nullptr) << name;
        return action;
    }

    // Triggers the command; `inWindow` acts on the file window once it is shown and must close
    // it (a window left open is cancelled).
    void Run(const char *action, const std::function<void()> &inWindow) {
        const QDialog *opened =
            WhileOpen(Action(action), QStringLiteral("LocalFile"), [&](QDialog *) {
                EXPECT_TRUE(QTest::qWaitForWindowActive(LocalFile()));
                inWindow();
                EXPECT_FALSE(LocalFile()->isVisible()) << "file window left open";
            });
        EXPECT_NE(opened, nullptr) << action;
        // The main window takes the keyboard again, as it does when a modal window closes.
        form_->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form_));
    }

    // In the shown file window: choose the folder, type the name (save modes) or set it as a
    // pick from the list would (load modes), and press Enter.
    void Choose(const QString &folder, const QString &name) {
        LocalFile()->SelectFolder(folder);
        if (LocalFile()->FileNameEdit->isReadOnly()) {
            LocalFile()->FileNameEdit->setText(name);
        } else {
            QTest::keyClicks(LocalFile()->FileNameEdit, name);
        }
        QTest::keyClick(LocalFile()->FileNameEdit, Qt::Key_Return);
    }

    void Cancel() { QTest::keyClick(LocalFile()->FileNameEdit, Qt::Key_Escape); }

    // A click into the pane. The window must hold the keyboard for the pane to take the focus;
    // after a modal window closes, the window manager may hand the activation back a moment
    // later, so the click is repeated until the pane has become the editing target.
    void Enter(QTextEdit *pane) {
        ASSERT_TRUE(WaitUntil([&] {
            if (SelectedEditingMemo != pane) {
                form_->activateWindow();
                pane->clearFocus();
                pane->setFocus(Qt::MouseFocusReason);
            }
            return SelectedEditingMemo == pane;
        }));
    }

    QString Path(const QString &name) const { return folder_ + QLatin1Char('/') + name; }

    QTemporaryDir dir_;
    QString folder_;
};

}  // namespace

TEST_F(FileCommands, LoadedListIsPingedAndSavedAsResultFile) {
    WriteBytes(Path("list.txt"), "HTTPS://www.127.0.0.1\r\nhttp://localhost\r\n127.0.0.2\r\n");
    Run("LoadAddressListAction", [&] { Choose(folder_, QStringLiteral("list.txt")); });
    EXPECT_EQ(form_->AddressList, (QStringList{"127.0.0.1", "localhost", "127.0.0.2"}));
    EXPECT_EQ(form_->AddressMemo->toPlainText(), QStringLiteral("127.0.0.1\nlocalhost\n127.0.0.2"));
    EXPECT_EQ(SelectedEditingMemo, form_->TempMemo);
    EXPECT_TRUE(
        form_->TempMemo->toPlainText().startsWith(QStringLiteral("HTTPS://www.127.0.0.1\n")));

    try {
        TIcmpEchoService probe;
    } catch (const TxError &error) {
        GTEST_SKIP() << "no ICMP socket here: " << error.Message().toStdString();
    }
    Action("PingListOfAddressesAction")->trigger();
    FinishRun();
    ASSERT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
    const QString results = form_->DebugMemo->toPlainText();
    for (const char *address : {"127.0.0.1", "127.0.0.2"}) {
        EXPECT_TRUE(results.contains(QStringLiteral("Reply from %1").arg(QLatin1String(address))))
            << results.toStdString();
    }

    // The run wrote into the results pane, so that pane is the one saved, without a click into
    // it first.
    EXPECT_EQ(SelectedEditingMemo, form_->DebugMemo);
    Run("SaveResultsAction", [&] { Choose(folder_, QStringLiteral("run")); });
    ASSERT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
    const QString file = Path("run.rtf");
    ASSERT_TRUE(QFile::exists(file));
    QTextDocument saved;
    Read(file, &saved);
    EXPECT_EQ(saved.toPlainText(),
              QStringLiteral("TARVEX REPORT\nversion 1.0.0.1\n\n\n") + results);
    // The colours of the results pane come along.
    QTextCursor reply = saved.find(QStringLiteral("Reply from 127.0.0.1"));
    ASSERT_FALSE(reply.isNull());
    QTextCursor inPane = form_->DebugMemo->document()->find(QStringLiteral("Reply from 127.0.0.1"));
    EXPECT_EQ(reply.charFormat().foreground().color(), inPane.charFormat().foreground().color());
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("the user's clipboard"));

    if (!QStandardPaths::findExecutable(QStringLiteral("unrtf")).isEmpty()) {
        const QString text = UnrtfText(file);
        EXPECT_TRUE(text.contains(QStringLiteral("TARVEX REPORT"))) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("version 1.0.0.1")));
        EXPECT_TRUE(text.contains(QStringLiteral("Reply from 127.0.0.2")));
    }
}

TEST_F(FileCommands, CancelAndUnreadableFilesKeepListAndPanes) {
    form_->AddressList = QStringList{QStringLiteral("kept.example")};
    form_->AddressMemo->setPlainText(QStringLiteral("kept.example"));
    form_->TempMemo->setPlainText(QStringLiteral("scratch"));
    Enter(form_->DebugMemo);
    form_->DebugMemo->setPlainText(QStringLiteral("results"));

    Run("LoadAddressListAction", [&] { Cancel(); });
    Run("LoadAddressListAction", [&] { Choose(folder_, QStringLiteral("missing.txt")); });
    // OK without a file picked from the list says so and keeps the window open.
    Run("LoadAddressListAction", [&] {
        LocalFile()->SelectFolder(folder_);
        QTest::keyClick(LocalFile()->FileNameEdit, Qt::Key_Return);
        EXPECT_TRUE(LocalFile()->isVisible());
        EXPECT_EQ(LocalFile()->NoticeLabel->text(), QStringLiteral("Choose a file from the list."));
        Cancel();
    });
    Run("LoadTextAction", [&] { Cancel(); });
    Run("LoadTextAction", [&] { Choose(folder_, QStringLiteral("missing.txt")); });
    const QString missing = QStringLiteral("Cannot open file \"%1\". No such file or directory")
                                .arg(Path("missing.txt"));
    EXPECT_EQ(errors_, (QStringList{missing, missing}));
    EXPECT_EQ(form_->AddressList, QStringList{QStringLiteral("kept.example")});
    EXPECT_EQ(form_->AddressMemo->toPlainText(), QStringLiteral("kept.example"));
    EXPECT_EQ(form_->TempMemo->toPlainText(), QStringLiteral("scratch"));
    EXPECT_EQ(form_->DebugMemo->toPlainText(), QStringLiteral("results"));
    EXPECT_EQ(SelectedEditingMemo, form_->DebugMemo);
}

TEST_F(FileCommands, AListPastedIntoThePathFieldIsLoaded) {
    WriteBytes(Path("my list.txt"), "www.alpha.example\r\n127.0.0.1\r\n");
    Run("LoadAddressListAction", [&] {
        LocalFile()->PathEdit->setFocus();
        QTest::keyClicks(LocalFile()->PathEdit, "\"" + Path("my list.txt") + "\"");
        QTest::keyClick(LocalFile()->PathEdit, Qt::Key_Return);
    });
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
    EXPECT_EQ(form_->AddressList, (QStringList{"alpha.example", "127.0.0.1"}));
    EXPECT_EQ(form_->AddressMemo->toPlainText(), QStringLiteral("alpha.example\n127.0.0.1"));
}

TEST_F(FileCommands, HostileListsAreRefusedAndLeaveListAndPanes) {
    form_->AddressList = QStringList{QStringLiteral("kept.example")};
    form_->AddressMemo->setPlainText(QStringLiteral("kept.example"));
    form_->TempMemo->setPlainText(QStringLiteral("scratch"));
    Enter(form_->DebugMemo);
    // One line longer than an address can be, after a good one; and one line of 50 MB, which
    // the address pane would take a minute and gigabytes to lay out.
    WriteBytes(Path("long.txt"), "alpha.example\n" + QByteArray(kAddressMaxLength + 1, 'x'));
    WriteBytes(Path("huge.txt"), QByteArray(50 * kMiB, '1') + '\n');
    for (const char *name : {"long.txt", "huge.txt"}) {
        Run("LoadAddressListAction", [&] { Choose(folder_, QString::fromLatin1(name)); });
    }
    const QString refused = QStringLiteral("Cannot load the address list \"%1\". %2");
    EXPECT_EQ(errors_,
              (QStringList{refused.arg(Path("long.txt"), "Line 2 is longer than 2048 characters."),
                           refused.arg(Path("huge.txt"), "The file is larger than 1 MiB.")}));
    EXPECT_EQ(form_->AddressList, QStringList{QStringLiteral("kept.example")});
    EXPECT_EQ(form_->AddressMemo->toPlainText(), QStringLiteral("kept.example"));
    EXPECT_EQ(form_->TempMemo->toPlainText(), QStringLiteral("scratch"));
    EXPECT_EQ(SelectedEditingMemo, form_->DebugMemo);
}

TEST_F(FileCommands, SavePathsFollowTheNameRules) {
    Enter(form_->AddressMemo);
    form_->AddressMemo->setPlainText(QStringLiteral("IPv4 - 127.0.0.1\t\tAddress - localhost"));
    QDir(folder_).mkdir(QStringLiteral("old.rtf"));
    struct Case {
        const char *action;
        QString folder;
        const char *name;
        QString file;
    } cases[] = {
        {"SaveResultsAction", folder_, "Result", Path("Result.rtf")},
        {"SaveResultsAction", folder_, "upper.RTF", Path("upper.RTF.rtf")},
        {"SaveTextAction", folder_, "pane.rtf", Path("pane.rtf")},
        {"SaveTextAction", Path("old.rtf"), "inside", Path("old.rtf/inside")},
    };
    // An empty name writes nothing: the window asks for one.
    for (const char *action : {"SaveResultsAction", "SaveTextAction"}) {
        Run(action, [&] {
            Choose(folder_, QString());
            EXPECT_TRUE(LocalFile()->isVisible());
            EXPECT_EQ(LocalFile()->NoticeLabel->text(),
                      QStringLiteral("Type a name for the file."));
            Cancel();
        });
    }
    EXPECT_EQ(QDir(folder_).entryList(QDir::Files | QDir::Hidden), QStringList());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Run(c.action, [&] { Choose(c.folder, QString::fromLatin1(c.name)); });
        EXPECT_TRUE(QFile::exists(c.file)) << c.file.toStdString();
    }
    EXPECT_EQ(LocalFile()->windowTitle(), QStringLiteral("Save results"));
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
    QTextDocument document;
    // "Save results" puts the title block before the pane, "Save ..." writes the pane alone.
    EXPECT_EQ(Read(Path("Result.rtf"), &document)->toPlainText(),
              QStringLiteral(
                  "TARVEX REPORT\nversion 1.0.0.1\n\n\nIPv4 - 127.0.0.1\t\tAddress - localhost"));
    EXPECT_EQ(Read(Path("pane.rtf"), &document)->toPlainText(),
              QStringLiteral("IPv4 - 127.0.0.1\t\tAddress - localhost"));
}

TEST_F(FileCommands, PaneTextGoesToAFileAndBackWithItsFormats) {
    Enter(form_->DebugMemo);
    form_->DebugMemo->clear();
    QTextCursor cursor(form_->DebugMemo->document());
    QTextCharFormat header;
    header.setForeground(QColor(255, 170, 0));
    header.setFontWeight(QFont::Bold);
    header.setFontPointSize(11);
    cursor.insertText(QStringLiteral("Pinging localhost [127.0.0.1] with 32 bytes of data:"),
                      header);
    cursor.insertBlock();
    QTextCharFormat reply;
    reply.setForeground(QColor(0, 255, 0));
    cursor.insertText(QStringLiteral("Reply from 127.0.0.1:  bytes=32  time<1ms  TTL=64"), reply);
    const QString original = form_->DebugMemo->toPlainText();

    Run("SaveTextAction", [&] { Choose(folder_, QStringLiteral("pane")); });
    Enter(form_->AddressMemo);
    Run("LoadTextAction", [&] { Choose(folder_, QStringLiteral("pane.rtf")); });
    EXPECT_EQ(LocalFile()->windowTitle(), QStringLiteral("Load list of addresses"));
    ASSERT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
    EXPECT_EQ(form_->AddressMemo->toPlainText(), original);
    QTextDocument *loaded = form_->AddressMemo->document();
    const QTextCharFormat first = loaded->find(QStringLiteral("Pinging")).charFormat();
    EXPECT_EQ(first.foreground().color(), QColor(255, 170, 0));
    EXPECT_EQ(first.fontWeight(), QFont::Bold);
    EXPECT_EQ(first.fontPointSize(), 11.0);
    const QTextCharFormat second = loaded->find(QStringLiteral("Reply")).charFormat();
    EXPECT_EQ(second.foreground().color(), QColor(0, 255, 0));
    EXPECT_EQ(second.fontWeight(), QFont::Normal);
    EXPECT_EQ(second.fontPointSize(), form_->DebugMemo->font().pointSizeF());
}

TEST_F(FileCommands, SavingALoadedListTwiceKeepsOneTitleBlock) {
    WriteBytes(Path("list.txt"), "alpha.example\nbeta.example\n");
    Run("LoadAddressListAction", [&] { Choose(folder_, QStringLiteral("list.txt")); });
    for (const char *name : {"first", "second"}) {
        Run("SaveResultsAction", [&] { Choose(folder_, QString::fromLatin1(name)); });
    }
    QTextDocument document;
    for (const char *name : {"first.rtf", "second.rtf"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(
            Read(Path(QString::fromLatin1(name)), &document)->toPlainText(),
            QStringLiteral("TARVEX REPORT\nversion 1.0.0.1\n\n\nalpha.example\nbeta.example\n"));
    }
}

TEST_F(FileCommands, UnwritableFileShowsTheErrorAndChangesNothing) {
    Enter(form_->DebugMemo);
    form_->DebugMemo->setPlainText(QStringLiteral("results"));
    form_->TempMemo->setPlainText(QStringLiteral("scratch"));
    QDir(folder_).mkdir(QStringLiteral("gone"));
    Run("SaveResultsAction", [&] {
        LocalFile()->SelectFolder(Path("gone"));
        QDir(Path("gone")).removeRecursively();
        QTest::keyClicks(LocalFile()->FileNameEdit, QStringLiteral("Result"));
        QTest::keyClick(LocalFile()->FileNameEdit, Qt::Key_Return);
    });
    ASSERT_EQ(errors_.size(), 1);
    EXPECT_TRUE(errors_[0].startsWith(
        QStringLiteral("Cannot create file \"%1\". ").arg(Path("gone/Result.rtf"))))
        << errors_[0].toStdString();
    EXPECT_EQ(form_->TempMemo->toPlainText(), QStringLiteral("scratch"));
    EXPECT_EQ(form_->DebugMemo->toPlainText(), QStringLiteral("results"));
}
