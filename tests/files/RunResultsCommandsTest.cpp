// "Save results as CSV" and "Save results as JSON" of the main window, driven through the real
// file window after real runs to 127.0.0.1 and ::1: every kind of run written into the results
// pane since it was last cleared is saved, in the forms scripts read, and nothing after a clear.
#include <gtest/gtest.h>

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QTest>
#include <QTextEdit>

#include "app/MainMenuUnit.h"
#include "common/Errors.h"
#include "files/FileManager.h"
#include "ping/EchoService.h"
#include "support/ProgramWindows.h"
#include "support/ResultsReadBack.h"
#include "support/RunDrivers.h"

namespace {

class RunResultsCommands : public ProgramWindowsTest {
  protected:
    // Two requests a run, and a short wait for a trace's silent hops.
    void PrepareHome() override {
        WriteSettingsFile(
            "[PING SYSTEM SETTINGS]\nTime Out=500\nBuffer Size=32\nRetries No=2\n"
            "Interval=100\n");
    }

    void SetUp() override {
        ProgramWindowsTest::SetUp();
        folder_ = QDir(dir_.path()).canonicalPath();
    }

    // Saves through the file window under `name` in the test's folder; returns the file's bytes.
    QByteArray Save(QAction *command, const QString &name, quint16 mode, const char *filter) {
        const QDialog *opened = WhileOpen(command, QStringLiteral("LocalFile"), [&](QDialog *) {
            EXPECT_EQ(LocalFile()->FunctionIndex, mode);
            EXPECT_EQ(LocalFile()->FileFilter(), QLatin1String(filter));
            LocalFile()->SelectFolder(folder_);
            QTest::keyClicks(LocalFile()->FileNameEdit, name);
            QTest::keyClick(LocalFile()->FileNameEdit, Qt::Key_Return);
        });
        EXPECT_NE(opened, nullptr);
        return ReadBytes(folder_ + QLatin1Char('/') + name + QString::fromLatin1(filter).mid(1));
    }

    void Ping(QAction *command, const QString &address) {
        form_->AddressEdit->setText(address);
        command->trigger();
        FinishRun();
    }

    QTemporaryDir dir_;
    QString folder_;
};

}  // namespace

TEST_F(RunResultsCommands, EveryRunOfThePaneIsSavedUntilItIsCleared) {
    try {
        TIcmpEchoService probe;
    } catch (const TxError &error) {
        GTEST_SKIP() << "no ICMP socket here: " << error.Message().toStdString();
    }
    // Nothing run yet: the command says so, and no file window opens.
    EXPECT_EQ(WhileOpen(form_->SaveResultsJsonAction, QStringLiteral("LocalFile"), {}), nullptr);
    EXPECT_EQ(errors_, QStringList{QStringLiteral(
                           "The results pane holds no run to save. Ping an address or a list, or "
                           "trace a route, first.")});
    errors_.clear();

    Ping(form_->SinglePingAction, QStringLiteral("127.0.0.1"));
    form_->AddressList = QStringList{QStringLiteral("::1"), QStringLiteral("127.0.0.1")};
    form_->PingListOfAddressesAction->trigger();
    FinishRun();
    // A watch, stopped after its second reply.
    form_->AddressEdit->setText(QStringLiteral("::1"));
    form_->WatchPingAction->trigger();
    ASSERT_TRUE(WaitUntil([this] {
        return form_->DebugMemo->toPlainText().count(QStringLiteral("Reply from ::1")) >= 5;
    }));
    form_->WatchPingAction->trigger();
    FinishRun();
    // A trace, stopped after its first round is in.
    form_->AddressEdit->setText(QStringLiteral("127.0.0.1"));
    form_->TraceRouteAction->trigger();
    ASSERT_TRUE(WaitUntil([this] { return form_->PaneRuns().size() == 4 && form_->IsTracing(); }));
    QTest::qWait(300);
    form_->TraceRouteAction->trigger();
    FinishRun();
    ASSERT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();

    const QStringList fromJson = ReadResultsBack(
        Save(form_->SaveResultsJsonAction, QStringLiteral("runs"), 9, "*.json"), "json");
    const QStringList fromCsv = ReadResultsBack(
        Save(form_->SaveResultsCsvAction, QStringLiteral("runs"), 8, "*.csv"), "csv");
    ASSERT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
    EXPECT_EQ(fromCsv, ResultsWithout(fromJson, QStringLiteral("stats")));

    // The runs in the order the pane got them: the single run, the list's two addresses, the
    // watch, the trace.
    QStringList targets;
    for (const QString &line : fromJson) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.at(0) == QLatin1String("stats") || fields.at(0) == QLatin1String("trace")) {
            targets << fields.at(0) + QLatin1Char(' ') + fields.at(1);
        }
    }
    EXPECT_EQ(targets, (QStringList{"stats 127.0.0.1", "stats ::1", "stats 127.0.0.1", "stats ::1",
                                    "trace 127.0.0.1"}));
    const QString reply = ResultRow(
        {"ping", "127.0.0.1", "127.0.0.1", "IPv4", "1", "0", "Success", "ms", "64", "127.0.0.1"});
    EXPECT_EQ(fromJson.at(0), reply);
    EXPECT_EQ(fromJson.at(2), ResultRow({"stats", "127.0.0.1", "2", "2", "0", "0"}));
    EXPECT_EQ(fromJson.count(ResultRow({"stats", "::1", "2", "2", "0", "0"})), 1)
        << "the list's ::1";
    EXPECT_TRUE(fromJson.last().startsWith(
        ResultRow({"trace", "127.0.0.1", "127.0.0.1", "IPv4", "1", "127.0.0.1"})))
        << fromJson.last().toStdString();

    // Cleared (Esc at rest), the pane holds no run any more.
    form_->ClearAllAction->trigger();
    EXPECT_EQ(WhileOpen(form_->SaveResultsCsvAction, QStringLiteral("LocalFile"), {}), nullptr);
    EXPECT_EQ(errors_.size(), 1);
}
