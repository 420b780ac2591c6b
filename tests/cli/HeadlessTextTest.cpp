// Runs without a window, in this process, with echo services that answer from a script: the text
// is the results pane's, line for line, and JSON and CSV carry the exact figures of the replies.
#include <gtest/gtest.h>

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextDocument>
#include <map>
#include <mutex>

#include "../ping/PingTestDoubles.h"
#include "cli/HeadlessRun.h"
#include "common/TX_Edit.h"
#include "ping/RunSession.h"
#include "support/TestSupport.h"

namespace {

struct Outcome {
    int status = -1;
    QByteArray out;
    QStringList errors;
};

Outcome RunHeadlessWith(const QStringList &arguments, const TEchoServiceFactory &connect) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    AddHeadlessOptions(parser);
    Outcome outcome;
    if (!parser.parse(QStringList(QStringLiteral("tarvex")) + arguments)) {
        ADD_FAILURE() << parser.errorText().toStdString();
        return outcome;
    }
    THeadlessIo io;
    io.Out = [&outcome](const QByteArray &bytes) { outcome.out += bytes; };
    io.Error = [&outcome](const QString &line) { outcome.errors << line; };
    io.Connect = connect;
    outcome.status = RunHeadless(parser, io);
    return outcome;
}

// The header's date and time differ from one run to the next; everything else must not.
QStringList WithoutClock(QStringList lines) {
    static const QRegularExpression header(
        QStringLiteral("^Date: \\d\\d\\.\\d\\d\\.\\d{4}\tTime: \\d\\d:\\d\\d:\\d\\d\\.\\d{3} ms$"));
    for (QString &line : lines) {
        if (header.match(line).hasMatch()) {
            line = QStringLiteral("(header)");
        }
    }
    return lines;
}

TEchoServiceFactory AddressEchoes() {
    return []() -> std::unique_ptr<TEchoService> { return std::make_unique<AddressEcho>(); };
}

// The lines the main window writes for a list run of `addresses`: the session runs them, and
// each record is written into the results pane as the window writes it.
QStringList WindowPaneLines(const QStringList &addresses, const TEchoParameters &echo) {
    TRunSession session;
    session.SetConnect(AddressEchoes());
    QTextDocument pane;
    QTextDocument addressPane;
    double positionX = 0;
    TPingRunInput input;
    input.Echo = echo;
    bool finished = false;
    QObject::connect(&session, &TRunSession::Recorded,
                     [&](int, const QString &address, const TPingRecord &record) {
                         TPingRunInput block = input;
                         block.PingAddress = address;
                         TPingRunTargets targets;
                         targets.DebugMemo = &pane;
                         targets.AddressMemo = &addressPane;
                         targets.PositionX = &positionX;
                         WritePingRecord(block, targets, record);
                     });
    QObject::connect(&session, &TRunSession::Finished, [&finished] { finished = true; });
    EXPECT_TRUE(session.StartList(input, addresses, kMaxAddressesInFlight));
    EXPECT_TRUE(WaitUntil([&finished] { return finished; }, 30000));
    return PaneLines(&pane);
}

}  // namespace

// The command line's text is what the results pane gets for the same run: blocks in list order
// whatever order the addresses finish in, replies, time-outs, names that do not resolve and
// requests without any object, and the statistics.
TEST(HeadlessText, EqualsTheResultsPaneLineForLine) {
    struct Case {
        const char *name;
        QStringList addresses;
        quint16 requests;
    };
    const Case cases[] = {
        {"one address", {QStringLiteral("host.test")}, 4},
        {"a list",
         {QStringLiteral("a.test"), QStringLiteral("silent.test"), QStringLiteral("b.test"),
          QStringLiteral("unknown.test"), QStringLiteral("c.test")},
         3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TEchoParameters echo;
        echo.Retries = c.requests;
        const Outcome cli =
            RunHeadlessWith(QStringList{QStringLiteral("--ping"), QStringLiteral("-c"),
                                        QString::number(c.requests)} +
                                c.addresses,
                            AddressEchoes());
        const QStringList cliLines = QString::fromUtf8(cli.out).split(QLatin1Char('\n'));
        // Every line ends with a line break, so the text ends with an empty piece.
        ASSERT_FALSE(cliLines.isEmpty());
        EXPECT_EQ(cliLines.last(), QString());
        const QStringList window = WindowPaneLines(c.addresses, echo);
        EXPECT_EQ(WithoutClock(cliLines.mid(0, cliLines.size() - 1)), WithoutClock(window));
        EXPECT_EQ(cliLines.count(QStringLiteral("Ping statistics for %1; IPv4 - 10.0.0.%2")
                                     .arg(c.addresses.first())
                                     .arg(static_cast<uint>(qHash(c.addresses.first())) % 250)),
                  1);
    }
}

// One scripted address per case: the JSON and CSV forms carry the replies' own figures, trip
// times with their fraction, and the error that ended a run.
TEST(HeadlessText, JsonAndCsvCarryTheExactFigures) {
    TPingReply fast = Reply(0, QStringLiteral("10.0.0.5"), 48, 61);
    fast.TripMicroseconds = 420;
    TPingReply slow = Reply(12, QStringLiteral("10.0.0.5"), 48, 61);
    slow.TripMicroseconds = 12624;
    const std::deque<std::optional<TPingReply>> script = {
        fast, Failure(11010, QStringLiteral("10.0.0.5")), slow,
        Failure(11003, QStringLiteral("10.9.9.1"))};
    const TEchoServiceFactory scripted = [script]() -> std::unique_ptr<TEchoService> {
        return std::make_unique<ScriptedEchoService>(script);
    };
    const QStringList arguments = {QStringLiteral("--ping"), QStringLiteral("-c"),
                                   QStringLiteral("4"),      QStringLiteral("-s"),
                                   QStringLiteral("48"),     QStringLiteral("named.test")};

    const Outcome json = RunHeadlessWith(
        arguments + QStringList{QStringLiteral("--format"), QStringLiteral("json")}, scripted);
    EXPECT_EQ(json.status, kExitAnswered);
    EXPECT_TRUE(json.errors.isEmpty()) << json.errors.join(QLatin1Char('\n')).toStdString();
    const QJsonObject run = QJsonDocument::fromJson(json.out)
                                .object()
                                .value(QStringLiteral("runs"))
                                .toArray()
                                .at(0)
                                .toObject();
    EXPECT_EQ(run.value(QStringLiteral("target")).toString(), QStringLiteral("named.test"));
    // A name stands for the address that replied.
    EXPECT_EQ(run.value(QStringLiteral("address")).toString(), QStringLiteral("10.0.0.5"));
    EXPECT_EQ(run.value(QStringLiteral("family")).toString(), QStringLiteral("IPv4"));
    EXPECT_EQ(run.value(QStringLiteral("bytes")).toInt(), 48);
    const QJsonArray replies = run.value(QStringLiteral("replies")).toArray();
    ASSERT_EQ(replies.size(), 4);
    struct Expected {
        int status;
        const char *text;
        double time;  // < 0: null
        int ttl;      // < 0: null
        const char *from;
    };
    const Expected expected[] = {{0, "Success", 0.42, 61, "10.0.0.5"},
                                 {11010, "Request Timed Out", -1, -1, "10.0.0.5"},
                                 {0, "Success", 12.624, 61, "10.0.0.5"},
                                 {11003, "Destination Host Unreachable", -1, -1, "10.9.9.1"}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const QJsonObject reply = replies.at(i).toObject();
        EXPECT_EQ(reply.value(QStringLiteral("seq")).toInt(), i + 1);
        EXPECT_EQ(reply.value(QStringLiteral("status")).toInt(), expected[i].status);
        EXPECT_EQ(reply.value(QStringLiteral("status_text")).toString(),
                  QLatin1String(expected[i].text));
        if (expected[i].time < 0) {
            EXPECT_TRUE(reply.value(QStringLiteral("time_ms")).isNull());
            EXPECT_TRUE(reply.value(QStringLiteral("ttl")).isNull());
        } else {
            EXPECT_DOUBLE_EQ(reply.value(QStringLiteral("time_ms")).toDouble(), expected[i].time);
            EXPECT_EQ(reply.value(QStringLiteral("ttl")).toInt(), expected[i].ttl);
        }
        EXPECT_EQ(reply.value(QStringLiteral("from")).toString(), QLatin1String(expected[i].from));
    }
    const QJsonObject statistics = run.value(QStringLiteral("statistics")).toObject();
    EXPECT_EQ(statistics.value(QStringLiteral("sent")).toInt(), 4);
    EXPECT_EQ(statistics.value(QStringLiteral("received")).toInt(), 2);
    EXPECT_EQ(statistics.value(QStringLiteral("loss_percent")).toInt(), 50);
    EXPECT_DOUBLE_EQ(statistics.value(QStringLiteral("min_ms")).toDouble(), 0.42);
    EXPECT_DOUBLE_EQ(statistics.value(QStringLiteral("max_ms")).toDouble(), 12.624);
    EXPECT_DOUBLE_EQ(statistics.value(QStringLiteral("avg_ms")).toDouble(), 6.522);
    EXPECT_DOUBLE_EQ(statistics.value(QStringLiteral("jitter_ms")).toDouble(), 12.204);

    const Outcome csv = RunHeadlessWith(
        arguments + QStringList{QStringLiteral("--format"), QStringLiteral("csv")}, scripted);
    const QList<QByteArray> rows = csv.out.split('\n');
    ASSERT_EQ(rows.size(), 6);  // header, four replies, and the empty piece after the last
    EXPECT_TRUE(rows.at(0).startsWith("kind,target,address,family,started,seq,status,"));
    const auto fields = [&rows](int row) { return rows.at(row).trimmed().split(','); };
    EXPECT_EQ(fields(1).mid(5, 7),
              (QList<QByteArray>{"1", "0", "Success", "0.420", "61", "48", "10.0.0.5"}));
    EXPECT_EQ(fields(3).mid(5, 7),
              (QList<QByteArray>{"3", "0", "Success", "12.624", "61", "48", "10.0.0.5"}));
    EXPECT_EQ(fields(4).mid(5, 7), (QList<QByteArray>{"4", "11003", "Destination Host Unreachable",
                                                      "", "", "", "10.9.9.1"}));
}

// A service that fails mid-run: the run's error is in its JSON and on the error output once,
// and the exit status says the system failed.
TEST(HeadlessText, AFailedServiceIsASystemError) {
    const Outcome outcome = RunHeadlessWith(
        {QStringLiteral("--ping"), QStringLiteral("-c"), QStringLiteral("3"),
         QStringLiteral("broken.test"), QStringLiteral("--format"), QStringLiteral("json")},
        AddressEchoes());
    EXPECT_EQ(outcome.status, kExitSystemError);
    EXPECT_EQ(outcome.errors, QStringList{QStringLiteral("tarvex: Echo request failed: broken")});
    const QJsonObject run = QJsonDocument::fromJson(outcome.out)
                                .object()
                                .value(QStringLiteral("runs"))
                                .toArray()
                                .at(0)
                                .toObject();
    EXPECT_EQ(run.value(QStringLiteral("error")).toString(),
              QStringLiteral("Echo request failed: broken"));
    EXPECT_EQ(run.value(QStringLiteral("replies")).toArray().size(), 1);
}

// The same address twice stays two runs in CSV, told apart by the run's number; a name that does
// not resolve sent nothing: JSON gives it no replies, nothing counted and the reason, CSV one
// row with the reason, while the text keeps the pane's lines for it.
TEST(HeadlessText, RunsAreNumberedAndANameThatDoesNotResolveSendsNothing) {
    const QStringList arguments = {QStringLiteral("--ping"), QStringLiteral("-c"),
                                   QStringLiteral("2"),      QStringLiteral("-i"),
                                   QStringLiteral("0"),      QStringLiteral("a.test"),
                                   QStringLiteral("a.test"), QStringLiteral("unknown.test")};
    const auto withFormat = [&arguments](const char *format) {
        return arguments + QStringList{QStringLiteral("--format"), QLatin1String(format)};
    };

    const Outcome csv = RunHeadlessWith(withFormat("csv"), AddressEchoes());
    EXPECT_EQ(csv.status, kExitUsage);
    QList<QByteArray> rows = csv.out.split('\n');
    ASSERT_EQ(rows.takeLast(), QByteArray());
    ASSERT_EQ(rows.size(), 6) << csv.out.toStdString();
    const QList<QByteArray> header = rows.at(0).trimmed().split(',');
    const qsizetype run = header.indexOf("run");
    const qsizetype seq = header.indexOf("seq");
    const qsizetype error = header.indexOf("error");
    ASSERT_GE(run, 0);
    ASSERT_GE(error, 0);
    const struct {
        const char *target;
        const char *run;
        const char *seq;
        const char *error;
    } expected[] = {{"a.test", "1", "1", ""},
                    {"a.test", "1", "2", ""},
                    {"a.test", "2", "1", ""},
                    {"a.test", "2", "2", ""},
                    {"unknown.test", "3", "", "The name does not resolve."}};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const QList<QByteArray> fields = rows.at(i + 1).trimmed().split(',');
        ASSERT_EQ(fields.size(), header.size());
        EXPECT_EQ(fields.at(1), expected[i].target);
        EXPECT_EQ(fields.at(run), expected[i].run);
        EXPECT_EQ(fields.at(seq), expected[i].seq);
        EXPECT_EQ(fields.at(error), expected[i].error);
    }

    const Outcome json = RunHeadlessWith(withFormat("json"), AddressEchoes());
    EXPECT_EQ(json.status, kExitUsage);
    EXPECT_EQ(json.errors,
              QStringList{QStringLiteral("tarvex: unknown.test: the name does not resolve.")});
    const QJsonArray runs =
        QJsonDocument::fromJson(json.out).object().value(QStringLiteral("runs")).toArray();
    ASSERT_EQ(runs.size(), 3);
    const QJsonObject unresolved = runs.at(2).toObject();
    EXPECT_EQ(unresolved.value(QStringLiteral("error")).toString(),
              QStringLiteral("The name does not resolve."));
    EXPECT_TRUE(unresolved.value(QStringLiteral("replies")).toArray().isEmpty());
    const QJsonObject statistics = unresolved.value(QStringLiteral("statistics")).toObject();
    EXPECT_EQ(statistics.value(QStringLiteral("sent")).toInt(), 0);
    EXPECT_EQ(statistics.value(QStringLiteral("lost")).toInt(), 0);
    EXPECT_TRUE(runs.at(0).toObject().value(QStringLiteral("error")).isNull());

    const Outcome text = RunHeadlessWith(arguments, AddressEchoes());
    EXPECT_EQ(QString::fromUtf8(text.out)
                  .split(QLatin1Char('\n'))
                  .count(QStringLiteral("Reply from unknown.test: Error processing request")),
              2);
}
