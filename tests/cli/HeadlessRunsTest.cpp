// The program run without a window, as a script runs it: the built program in network
// namespaces this test makes (real ICMP to answering, rejecting and silent addresses), WHOIS and
// geolocation servers of its own inside them, its exit statuses, its lines, its JSON checked
// against the schema kept in the repository and its CSV read back by Python's csv module.
#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <memory>

#include "support/EchoNamespace.h"
#include "support/LocalHttpServer.h"
#include "support/LoopbackServer.h"
#include "support/ResultsReadBack.h"
#include "support/RouterChain.h"
#include "support/TestSupport.h"

namespace {

struct ProgramOutcome {
    int status = -1;
    QByteArray out;
    QString err;
};

const QString kProgram = QStringLiteral(TARVEX_PROGRAM);

// The program's environment: nothing of the caller's but a fresh home (so no settings file of
// the user's is read) and the paths.
QStringList ProgramCommand(const QString &home, const QStringList &arguments) {
    return QStringList{QStringLiteral("env"),
                       QStringLiteral("-i"),
                       QStringLiteral("PATH=/usr/bin:/bin:/usr/sbin:/sbin"),
                       QStringLiteral("HOME=") + home,
                       QStringLiteral("LANG=C.UTF-8"),
                       kProgram} +
           arguments;
}

// Runs the program in network namespace `ns`, after `wrapper` (a command that runs the rest).
ProgramOutcome RunIn(const QString &ns, const QString &home, const QStringList &arguments,
                     const QStringList &wrapper = {}) {
    QProcess process;
    process.start(QStringLiteral("ip"),
                  QStringList{QStringLiteral("netns"), QStringLiteral("exec"), ns} + wrapper +
                      ProgramCommand(home, arguments));
    ProgramOutcome outcome;
    if (!process.waitForStarted() || !process.waitForFinished(120000)) {
        ADD_FAILURE() << "the program did not run to its end";
        return outcome;
    }
    outcome.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.out = process.readAllStandardOutput();
    outcome.err = QString::fromUtf8(process.readAllStandardError());
    return outcome;
}

class HeadlessRuns : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        ns_ = std::make_unique<EchoNamespace>();
        ASSERT_TRUE(ns_->Problem().isEmpty()) << ns_->Problem().toStdString();
    }

    ProgramOutcome Run(const QStringList &arguments, const QStringList &wrapper = {}) {
        return RunIn(ns_->Name(), home_.path(), arguments, wrapper);
    }

    QString WriteFile(const QString &name, const QByteArray &bytes) {
        const QString path = home_.filePath(name);
        WriteBytes(path, bytes);
        return path;
    }

    QTemporaryDir home_;
    std::unique_ptr<EchoNamespace> ns_;
};

}  // namespace

// Command lines against their exit status, the lines they must write and their error output
// (whole). 127.0.0.1 and ::1 answer, 127.0.0.2 rejects with host-unreachable, 127.0.0.3 is
// silent; names under .invalid never resolve.
TEST_F(HeadlessRuns, ExitStatusesAndLines) {
    const QString list =
        WriteFile(QStringLiteral("list.txt"), "127.0.0.1\n\n# the silent one\n  127.0.0.3\n::1\n");
    const QString empty = WriteFile(QStringLiteral("empty.txt"), "\n# nothing\n");
    const QString settings = WriteFile(QStringLiteral("settings.ini"),
                                       "[PING SYSTEM SETTINGS]\nTime Out=300\nBuffer Size=48\n"
                                       "Retries No=3\n");
    const QString usage = QStringLiteral("Try 'tarvex --help' for the options.\n");
    struct Case {
        const char *name;
        QStringList arguments;
        int status;
        QStringList lines;  // each must be a whole line of the output, in this order
        QString err;
    };
    const auto stats = [](const QString &address, const QString &family) {
        return QStringLiteral("Ping statistics for %1; %2 - %1").arg(address, family);
    };
    const Case cases[] = {
        {"IPv4 answers",
         {"--ping", "-c", "2", "127.0.0.1"},
         0,
         {"Pinging 127.0.0.1 with 32 bytes of data:", stats("127.0.0.1", "IPv4"),
          "Packets: Sent = 2, Received = 2, Lost = 0 [ 0% loss ]",
          "Minimum = 0 ms, Maximum = 0 ms, Average = 0 ms"},
         ""},
        {"IPv6 answers",
         {"--ping", "-c", "1", "::1"},
         0,
         {"Reply from ::1:  Bytes=32  Time=<1 ms  TTL=64", stats("::1", "IPv6")},
         ""},
        {"silent address",
         {"--ping", "-c", "2", "-W", "200", "127.0.0.3"},
         1,
         {"Reply from 127.0.0.3: Request Timed Out", "Reply from 127.0.0.3: Request Timed Out",
          "Packets: Sent = 2, Received = 0, Lost = 2 [ 100% loss ]"},
         ""},
        {"blanks around an address",
         {"--ping", "-c", "1", " 127.0.0.1\t"},
         0,
         // The lines name the address as it was given, as the window's do.
         {"Reply from 127.0.0.1:  Bytes=32  Time=<1 ms  TTL=64",
          "Ping statistics for  127.0.0.1\t; IPv4 - 127.0.0.1"},
         ""},
        {"IPv4-mapped address goes over IPv4",
         {"--ping", "-c", "1", "::ffff:127.0.0.1"},
         0,
         {"Pinging ::ffff:127.0.0.1 with 32 bytes of data:",
          "Reply from 127.0.0.1:  Bytes=32  Time=<1 ms  TTL=64",
          "Ping statistics for ::ffff:127.0.0.1; IPv4 - 127.0.0.1"},
         ""},
        {"rejecting address",
         {"--ping", "-c", "1", "127.0.0.2"},
         1,
         {"Reply from 127.0.0.2: Destination Host Unreachable"},
         ""},
        {"one of two silent",
         {"--ping", "-c", "1", "-W", "200", "127.0.0.1", "127.0.0.3"},
         1,
         {stats("127.0.0.1", "IPv4"), stats("127.0.0.3", "IPv4")},
         ""},
        {"name that does not resolve",
         {"--ping", "-c", "1", "nosuch.invalid"},
         2,
         {"Reply from nosuch.invalid: Error processing request"},
         "tarvex: nosuch.invalid: the name does not resolve.\n"},
        {"unresolved among answering, each reported",
         {"--ping", "-c", "1", "127.0.0.1", "a.invalid", "b.invalid"},
         2,
         {stats("127.0.0.1", "IPv4")},
         "tarvex: a.invalid: the name does not resolve.\n"
         "tarvex: b.invalid: the name does not resolve.\n"},
        {"list file: blanks and comments skipped, list order kept",
         {"--ping", "-c", "1", "-W", "200", "--file", list},
         1,
         {stats("127.0.0.1", "IPv4"), stats("127.0.0.3", "IPv4"), stats("::1", "IPv6")},
         ""},
        {"settings file gives the defaults",
         {"--ping", "--settings", settings, "127.0.0.1"},
         0,
         {"Pinging 127.0.0.1 with 48 bytes of data:",
          "Packets: Sent = 3, Received = 3, Lost = 0 [ 0% loss ]"},
         ""},
        {"options override the settings",
         {"--ping", "--settings", settings, "-c", "1", "-s", "56", "127.0.0.1"},
         0,
         {"Pinging 127.0.0.1 with 56 bytes of data:",
          "Reply from 127.0.0.1:  Bytes=56  Time=<1 ms  TTL=64",
          "Packets: Sent = 1, Received = 1, Lost = 0 [ 0% loss ]"},
         ""},
        // Mistakes: nothing is pinged, one line says what is wrong.
        {"unknown option",
         {"--ping", "--frobnicate", "127.0.0.1"},
         2,
         {},
         "tarvex: Unknown option 'frobnicate'.\n" + usage},
        {"count of 0",
         {"--ping", "-c", "0", "127.0.0.1"},
         2,
         {},
         "tarvex: The count (-c) must be a whole number from 1 to 65535, not '0'.\n"},
        {"count not a number",
         {"--ping", "-c", "four", "127.0.0.1"},
         2,
         {},
         "tarvex: The count (-c) must be a whole number from 1 to 65535, not 'four'.\n"},
        {"count too large",
         {"--ping", "-c", "65536", "127.0.0.1"},
         2,
         {},
         "tarvex: The count (-c) must be a whole number from 1 to 65535, not '65536'.\n"},
        {"count without value",
         {"--ping", "127.0.0.1", "-c"},
         2,
         {},
         "tarvex: Missing value after '-c'.\n" + usage},
        {"time-out of 0",
         {"--ping", "-W", "0", "127.0.0.1"},
         2,
         {},
         "tarvex: The time-out (-W) must be a whole number from 1 to 65535, not '0'.\n"},
        {"TTL too large",
         {"--ping", "-t", "256", "127.0.0.1"},
         2,
         {},
         "tarvex: The TTL (-t) must be a whole number from 1 to 255, not '256'.\n"},
        {"negative interval",
         {"--ping", "-i", "-5", "127.0.0.1"},
         2,
         {},
         "tarvex: The interval (-i) must be a whole number from 0 to 3600000, not '-5'.\n"},
        {"rate that is no number",
         {"--ping", "--rate", "fast", "127.0.0.1"},
         2,
         {},
         "tarvex: The rate (--rate, requests a second) must be a whole number from 0 to 100000, "
         "not 'fast'.\n"},
        {"negative rate",
         {"--ping", "--rate", "-1", "127.0.0.1"},
         2,
         {},
         "tarvex: The rate (--rate, requests a second) must be a whole number from 0 to 100000, "
         "not '-1'.\n"},
        {"rate with a trace",
         {"--trace", "--rate", "100", "127.0.0.1"},
         2,
         {},
         "tarvex: --rate does not go with --trace.\n"},
        {"unknown format",
         {"--ping", "--format", "xml", "127.0.0.1"},
         2,
         {},
         "tarvex: --format must be text, json or csv, not 'xml'.\n"},
        {"no address", {"--ping"}, 2, {}, "tarvex: --ping needs an address.\n"},
        {"list without addresses",
         {"--ping", "--file", empty},
         2,
         {},
         QStringLiteral("tarvex: The list \"%1\" holds no address.\n").arg(empty)},
        {"list that cannot be read",
         {"--ping", "--file", "/nonexistent/list"},
         2,
         {},
         "tarvex: Cannot open file \"/nonexistent/list\". No such file or directory\n"},
        {"settings file missing",
         {"--ping", "--settings", "/nonexistent.ini", "127.0.0.1"},
         2,
         {},
         "tarvex: The settings file \"/nonexistent.ini\" does not exist.\n"},
        {"two runs at once",
         {"--ping", "--trace", "127.0.0.1"},
         2,
         {},
         "tarvex: --ping and --trace cannot go together; choose one.\n"},
        {"run option without a run",
         {"-c", "2", "127.0.0.1"},
         2,
         {},
         "tarvex: The options of a run without a window need --ping, --trace, --whois or "
         "--locate.\n"},
        {"ping option with a lookup",
         {"--whois", "-t", "5", "example.net"},
         2,
         {},
         "tarvex: -t does not go with --whois.\n"},
        {"a trace of two addresses",
         {"--trace", "127.0.0.1", "::1"},
         2,
         {},
         "tarvex: --trace traces one address at a time.\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramOutcome outcome = Run(c.arguments);
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_EQ(outcome.err, c.err);
        const QStringList lines = QString::fromUtf8(outcome.out).split(QLatin1Char('\n'));
        int from = 0;
        for (const QString &line : c.lines) {
            const int at = lines.indexOf(line, from);
            EXPECT_GE(at, 0) << "missing or out of order: " << line.toStdString() << "\n"
                             << outcome.out.toStdString();
            from = at < 0 ? from : at + 1;
        }
        if (c.status == 2 && c.lines.isEmpty()) {
            EXPECT_TRUE(outcome.out.isEmpty()) << outcome.out.toStdString();
        }
    }
}

// Ctrl+C ends a run after the requests under way, and what was made is written as after a stop
// in the window: a ping's statistics of the requests sent, a trace's block.
TEST_F(HeadlessRuns, InterruptWritesWhatWasMade) {
    const QList<QStringList> runs = {{"--ping", "-c", "60000", "-i", "20", "127.0.0.1"},
                                     {"--trace", "-c", "60000", "127.0.0.1"}};
    for (const QStringList &arguments : runs) {
        SCOPED_TRACE(arguments.first().toStdString());
        QProcess process;
        process.start(QStringLiteral("ip"),
                      QStringList{QStringLiteral("netns"), QStringLiteral("exec"), ns_->Name()} +
                          ProgramCommand(home_.path(), arguments));
        ASSERT_TRUE(process.waitForStarted());
        // Unstopped, the run would go on for 20 minutes. A ping of one address writes each reply
        // as it comes, so the stop follows its first; a trace writes its block at the end only,
        // and gets time to start and make a round.
        QByteArray early;
        if (arguments.first() == QLatin1String("--ping")) {
            while (!early.contains("Reply from 127.0.0.1") && process.waitForReadyRead(30000)) {
                early += process.readAllStandardOutput();
            }
            ASSERT_TRUE(early.contains("Reply from 127.0.0.1")) << "no reply line while running";
        } else {
            QTest::qWait(1500);
        }
        ASSERT_EQ(kill(static_cast<pid_t>(process.processId()), SIGINT), 0);
        ASSERT_TRUE(process.waitForFinished(60000)) << "the run did not stop";
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        const QString out = QString::fromUtf8(early + process.readAllStandardOutput());
        static const QRegularExpression sent(QStringLiteral(
            "\\nPackets: Sent = (\\d+), Received = \\1, Lost = 0 \\[ 0% loss \\]\\n"));
        static const QRegularExpression rounds(QStringLiteral("\\nRounds: (\\d+)\\n$"));
        const QRegularExpressionMatch match =
            (arguments.first() == QLatin1String("--ping") ? sent : rounds).match(out);
        ASSERT_TRUE(match.hasMatch()) << out.toStdString();
        EXPECT_GE(match.captured(1).toInt(), 1);
        EXPECT_LT(match.captured(1).toInt(), 60000);
    }
}

// Both ICMP sockets refused (no CAP_NET_RAW, and a ping group range that admits nobody): exit
// status 3 and the system's reason, once, however many addresses; JSON still holds every run,
// each with its error.
TEST_F(HeadlessRuns, NoIcmpPermissionIsASystemError) {
    QString errors;
    ASSERT_EQ(RunCommandLine(QStringLiteral("ip"),
                             {QStringLiteral("netns"), QStringLiteral("exec"), ns_->Name(),
                              QStringLiteral("sysctl"), QStringLiteral("-qw"),
                              QStringLiteral("net.ipv4.ping_group_range=1 0")},
                             {}, &errors),
              0)
        << errors.toStdString();
    const QStringList withoutRaw = {QStringLiteral("setpriv"),
                                    QStringLiteral("--bounding-set=-net_raw"),
                                    QStringLiteral("--inh-caps=-net_raw")};
    const ProgramOutcome outcome =
        Run({QStringLiteral("--ping"), QStringLiteral("127.0.0.1"), QStringLiteral("::1"),
             QStringLiteral("--format"), QStringLiteral("json")},
            withoutRaw);
    EXPECT_EQ(outcome.status, 3);
    EXPECT_TRUE(outcome.err.startsWith(QStringLiteral("tarvex: Cannot send echo requests: ")))
        << outcome.err.toStdString();
    EXPECT_EQ(outcome.err.count(QLatin1Char('\n')), 1) << outcome.err.toStdString();
    const QStringList results = ReadResultsBack(outcome.out, "json");
    EXPECT_EQ(ResultsWithout(results, QStringLiteral("error")),
              (QStringList{ResultRow({"stats", "127.0.0.1", "0", "0", "0", "0"}),
                           ResultRow({"stats", "::1", "0", "0", "0", "0"})}));
    EXPECT_EQ(results.filter(QStringLiteral("Cannot send echo requests: ")).size(), 2)
        << results.join(QLatin1Char('\n')).toStdString();
}

// One run in both forms for scripts: the JSON document passes the schema, the CSV table reads
// back with the same replies, and both say what each address did.
TEST_F(HeadlessRuns, JsonAndCsvReadBackTheSameReplies) {
    const QStringList arguments = {"--ping",    "-c",  "2",         "-W",        "200",
                                   "127.0.0.1", "::1", "127.0.0.3", "127.0.0.2", "nosuch.invalid"};
    const ProgramOutcome json = Run(arguments + QStringList{"--format", "json"});
    const ProgramOutcome csv = Run(arguments + QStringList{"--format", "csv"});
    EXPECT_EQ(json.status, 2);
    EXPECT_EQ(csv.status, 2);
    const QStringList fromJson = ReadResultsBack(json.out, "json");
    const QStringList fromCsv = ReadResultsBack(csv.out, "csv");
    QStringList expected;
    for (const QString seq : {"1", "2"}) {
        expected << ResultRow({"ping", "127.0.0.1", "127.0.0.1", "IPv4", seq, "0", "Success", "ms",
                               "64", "127.0.0.1"});
    }
    expected << ResultRow({"stats", "127.0.0.1", "2", "2", "0", "0"});
    for (const QString seq : {"1", "2"}) {
        expected << ResultRow(
            {"ping", "::1", "::1", "IPv6", seq, "0", "Success", "ms", "64", "::1"});
    }
    expected << ResultRow({"stats", "::1", "2", "2", "0", "0"});
    for (const QString seq : {"1", "2"}) {
        expected << ResultRow({"ping", "127.0.0.3", "127.0.0.3", "IPv4", seq, "11010",
                               "Request Timed Out", "-", "-", "127.0.0.3"});
    }
    expected << ResultRow({"stats", "127.0.0.3", "2", "0", "2", "100"});
    for (const QString seq : {"1", "2"}) {
        expected << ResultRow({"ping", "127.0.0.2", "127.0.0.2", "IPv4", seq, "11003",
                               "Destination Host Unreachable", "-", "-", "127.0.0.2"});
    }
    expected << ResultRow({"stats", "127.0.0.2", "2", "0", "2", "100"});
    // Nothing was sent to a name that does not resolve, and the reason is told.
    expected << ResultRow({"stats", "nosuch.invalid", "0", "0", "0", "0"});
    expected << ResultRow({"error", "nosuch.invalid", "The name does not resolve."});
    EXPECT_EQ(fromJson, expected);
    EXPECT_EQ(fromCsv, ResultsWithout(expected, QStringLiteral("stats")));
}

// WHOIS and geolocation through servers of the test's own inside the namespace (the names come
// from the namespace's hosts file): the pane's lines of a WHOIS reply, the places, and both in
// JSON and CSV; a zone without WHOIS server, a server that is not there, a place the service
// does not know and a name that does not resolve each with its status.
TEST_F(HeadlessRuns, WhoisAndLocateThroughTheConfiguredServices) {
    ASSERT_TRUE(ns_->WriteHosts("127.0.0.1 probe.ripe.net\n127.0.0.7 other.ripe.net\n"));
    std::unique_ptr<LoopbackServer> whois;
    std::unique_ptr<LoopbackServer> hostile;
    std::unique_ptr<LocalHttpServer> geolocation;
    quint16 closedPort = 0;
    // Made inside the namespace, their listening sockets stay there.
    ASSERT_TRUE(ns_->RunInside([&] {
        whois = std::make_unique<LoopbackServer>(
            [](LoopbackConnection &connection, LoopbackServer &server) {
                server.Record(connection.ReadLine());
                connection.Write(
                    "% test database\r\ninetnum:   127.0.0.0 - 127.255.255.255\r\n"
                    "netname:LOOPBACK\r\norg-type:  OTHER\r\n");
            });
        // A reply with a NUL, an escape sequence that would clear a terminal, and a DEL.
        hostile =
            std::make_unique<LoopbackServer>([](LoopbackConnection &connection, LoopbackServer &) {
                connection.ReadLine();
                connection.Write(QByteArray("remarks:  a\0b\x1b[2Jc\x7f\r\n", 21));
            });
        geolocation = std::make_unique<LocalHttpServer>();
        closedPort = ClosedLoopbackPort();
    }));
    geolocation->SetRoute(QStringLiteral("/xml/127.0.0.1"),
                          "<Response><CountryCode>NL</CountryCode><CountryName>Netherlands"
                          "</CountryName><RegionCode>NH</RegionCode><RegionName>North Holland"
                          "</RegionName><City>Amsterdam, Centrum</City><ZipCode>1012</ZipCode>"
                          "<Latitude>52.374</Latitude><Longitude>4.8897</Longitude></Response>");
    const QString settings =
        WriteFile(QStringLiteral("services.ini"),
                  QStringLiteral("[SERVICES]\nWhois Server=%1\nGeolocation URL=%2\n")
                      .arg(whois->HostPort(), geolocation->BaseUrl())
                      .toUtf8());
    const QString closed = WriteFile(
        QStringLiteral("closed.ini"),
        QStringLiteral("[SERVICES]\nWhois Server=127.0.0.1:%1\n").arg(closedPort).toUtf8());

    // WHOIS in the pane's lines.
    const ProgramOutcome text =
        Run({"--whois", "probe.ripe.net", "somewhere.zzzq", "--settings", settings});
    EXPECT_EQ(text.status, 1) << "a zone without WHOIS server is a name not answered";
    EXPECT_EQ(text.err, QString());
    const QStringList lines = QString::fromUtf8(text.out).split(QLatin1Char('\n'));
    for (const QString &line :
         {QStringLiteral("% test database"),
          QStringLiteral("inetnum:\t\t\t127.0.0.0 - 127.255.255.255"),
          QStringLiteral("netname:\t\t\tLOOPBACK"), QStringLiteral("org-type:\t\t\tOTHER"),
          QStringLiteral("\t\t\tNo results.")}) {
        EXPECT_TRUE(lines.contains(line)) << line.toStdString() << "\n" << text.out.toStdString();
    }
    EXPECT_EQ(whois->Recorded(), QList<QByteArray>{"127.0.0.1\r\n"});

    const ProgramOutcome answered =
        Run({"--whois", "probe.ripe.net", "--settings", settings, "--format", "json"});
    EXPECT_EQ(answered.status, 0);
    const QStringList whoisRows = {
        ResultRow({"whois", "probe.ripe.net", whois->HostPort(), "1", "% test database"}),
        ResultRow({"whois", "probe.ripe.net", whois->HostPort(), "2",
                   "inetnum:   127.0.0.0 - 127.255.255.255"}),
        ResultRow({"whois", "probe.ripe.net", whois->HostPort(), "3", "netname:LOOPBACK"}),
        ResultRow({"whois", "probe.ripe.net", whois->HostPort(), "4", "org-type:  OTHER"})};
    EXPECT_EQ(ReadResultsBack(answered.out, "json"), whoisRows);
    const ProgramOutcome answeredCsv =
        Run({"--whois", "probe.ripe.net", "--settings", settings, "--format", "csv"});
    EXPECT_EQ(ReadResultsBack(answeredCsv.out, "csv"), whoisRows);

    // A listed zone, but the name does not resolve: nothing is asked in its place.
    const qsizetype asked = whois->Recorded().size();
    for (const char *format : {"text", "json"}) {
        SCOPED_TRACE(format);
        const ProgramOutcome unresolved =
            Run({"--whois", "gone.ripe.net", "--settings", settings, "--format", format});
        EXPECT_EQ(unresolved.status, 2);
        EXPECT_EQ(unresolved.err, "tarvex: gone.ripe.net: the name does not resolve.\n");
        if (QLatin1String(format) == QLatin1String("text")) {
            EXPECT_EQ(unresolved.out, QByteArray());
        } else {
            EXPECT_TRUE(unresolved.out.contains("\"error\": \"The name does not resolve.\""))
                << unresolved.out.toStdString();
        }
    }
    EXPECT_EQ(whois->Recorded().size(), asked) << "the server was asked about something";

    // Control bytes of a reply are shown, never written raw to a terminal or a table.
    const QString hostileSettings = WriteFile(
        QStringLiteral("hostile.ini"),
        QStringLiteral("[SERVICES]\nWhois Server=%1\n").arg(hostile->HostPort()).toUtf8());
    const ProgramOutcome shown = Run({"--whois", "probe.ripe.net", "--settings", hostileSettings});
    EXPECT_EQ(shown.status, 0);
    EXPECT_TRUE(QString::fromUtf8(shown.out)
                    .split(QLatin1Char('\n'))
                    .contains(QString::fromUtf8("remarks:\t\t\ta\u2400b\u241b[2Jc\u2421")))
        << shown.out.toStdString();
    const ProgramOutcome table =
        Run({"--whois", "probe.ripe.net", "--settings", hostileSettings, "--format", "csv"});
    for (const QByteArray &out : {shown.out, table.out}) {
        EXPECT_FALSE(out.contains('\0'));
        EXPECT_FALSE(out.contains('\x1b'));
        EXPECT_FALSE(out.contains('\x7f'));
    }

    const ProgramOutcome refused = Run({"--whois", "probe.ripe.net", "--settings", closed});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.startsWith(QStringLiteral("tarvex: probe.ripe.net: ")))
        << refused.err.toStdString();
    EXPECT_EQ(refused.err.count(QLatin1Char('\n')), 1);

    // Places.
    const QStringList locate = {"--locate",       "probe.ripe.net", "other.ripe.net",
                                "nosuch.invalid", "--settings",     settings};
    const ProgramOutcome places = Run(locate);
    EXPECT_EQ(places.status, 2);
    EXPECT_TRUE(
        places.out.startsWith("Location of probe.ripe.net [127.0.0.1]:\n"
                              "Country: NL Netherlands\n"
                              "Region: NH North Holland\n"
                              "City: Amsterdam, Centrum\n"
                              "Zip code: 1012\n"
                              "Latitude: 52.374\n"
                              "Longitude: 4.8897\n\n"
                              "Location of other.ripe.net [127.0.0.7]:\nError "))
        << places.out.toStdString();
    const QStringList errorLines = places.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(errorLines.size(), 2) << places.err.toStdString();
    EXPECT_TRUE(errorLines.at(0).startsWith(QStringLiteral("tarvex: other.ripe.net: Error ")))
        << places.err.toStdString();
    EXPECT_EQ(errorLines.at(1),
              QStringLiteral("tarvex: nosuch.invalid: the name does not resolve to an IPv4 "
                             "address."));
    const QStringList fromJson =
        ReadResultsBack(Run(locate + QStringList{"--format", "json"}).out, "json");
    const QStringList fromCsv =
        ReadResultsBack(Run(locate + QStringList{"--format", "csv"}).out, "csv");
    ASSERT_EQ(fromJson.size(), 3);
    EXPECT_EQ(fromJson.at(0), ResultRow({"locate", "probe.ripe.net", "127.0.0.1", "NL",
                                         "Amsterdam, Centrum", "52.374", "4.8897", "-"}));
    EXPECT_TRUE(fromJson.at(1).startsWith(
        ResultRow({"locate", "other.ripe.net", "127.0.0.7", "-", "-", "-", "-", "Error "})));
    EXPECT_EQ(fromJson.at(2), ResultRow({"locate", "nosuch.invalid", "-", "-", "-", "-", "-",
                                         "The name does not resolve to an IPv4 address."}));
    EXPECT_EQ(fromCsv, fromJson);
}

// Over a routed chain: a TTL of 1 (-t) ends an IPv4 request at the first router, and a trace
// finds every hop, in the pane's lines, JSON and CSV.
TEST(HeadlessRoutes, TtlAndTraceOverRouters) {
    RouterChain chain;
    ASSERT_TRUE(chain.Problem().isEmpty()) << chain.Problem().toStdString();
    QTemporaryDir home;
    const auto run = [&](const QStringList &arguments) {
        ProgramOutcome outcome;
        QString errors;
        outcome.status =
            chain.Exec(QStringLiteral("env"), ProgramCommand(home.path(), arguments).mid(1),
                       &outcome.out, &errors);
        outcome.err = errors;
        return outcome;
    };
    const ProgramOutcome expired = run({"--ping", "-c", "1", "-t", "1", RouterChain::TargetV4()});
    EXPECT_EQ(expired.status, 1);
    EXPECT_TRUE(QString::fromUtf8(expired.out)
                    .split(QLatin1Char('\n'))
                    .contains(QStringLiteral("Reply from %1: TimeToLive Expired Transit")
                                  .arg(RouterChain::HopV4(1))))
        << expired.out.toStdString();
    // Without -t the request goes through.
    EXPECT_EQ(run({"--ping", "-c", "1", RouterChain::TargetV4()}).status, 0);

    for (const QString &target : {RouterChain::TargetV4(), RouterChain::TargetV6()}) {
        SCOPED_TRACE(target.toStdString());
        const QString family = target.contains(QLatin1Char(':')) ? "IPv6" : "IPv4";
        const ProgramOutcome text = run({"--trace", "-c", "1", "-W", "1000", target});
        EXPECT_EQ(text.status, 0) << text.err.toStdString();
        EXPECT_TRUE(
            text.out.contains(QStringLiteral("Tracing route to %1 [%1] over a maximum of 30 hops:")
                                  .arg(target)
                                  .toUtf8()))
            << text.out.toStdString();
        EXPECT_TRUE(text.out.contains("\nRounds: 1\n"));
        const QStringList arguments = {"--trace", "-c", "1", "-W", "1000", target, "--format"};
        const QStringList fromJson =
            ReadResultsBack(run(arguments + QStringList{"json"}).out, "json");
        const QStringList fromCsv = ReadResultsBack(run(arguments + QStringList{"csv"}).out, "csv");
        QStringList expected;
        for (int hop = 1; hop <= RouterChain::kHops; ++hop) {
            const QString address =
                family == "IPv6" ? RouterChain::HopV6(hop) : RouterChain::HopV4(hop);
            expected << ResultRow({"trace", target, target, family, QString::number(hop), address,
                                   "-", "1", "1", "0", "ms"});
        }
        EXPECT_EQ(fromJson, expected);
        EXPECT_EQ(fromCsv, expected);
    }
}

// How a trace over the chain ends, in its lines and its exit status: 0 only when the target
// answered; 1 when a router answered "unreachable" for it (at once, or once its neighbour
// discovery failed for an address that does not exist) or when nothing answered past some hop,
// and the block says which; 2, with no hop at all, for a name that does not resolve.
TEST(HeadlessRoutes, ATraceSaysHowTheRouteEndedAndExitsAsIt) {
    RouterChain chain(QStringLiteral("ends"));
    ASSERT_TRUE(chain.Problem().isEmpty()) << chain.Problem().toStdString();
    QTemporaryDir home;
    const auto run = [&](const QStringList &arguments) {
        ProgramOutcome outcome;
        outcome.status =
            chain.Exec(QStringLiteral("env"), ProgramCommand(home.path(), arguments).mid(1),
                       &outcome.out, &outcome.err);
        return outcome;
    };
    const QString r2 = RouterChain::HopV4(2);
    const QString r3 = RouterChain::HopV4(3);
    const QString hop = QStringLiteral("%1  %2 +2 +0%.*");
    const struct {
        const char *name;
        int node;  // whose rules, 0: none
        QByteArray rules;
        QString target;
        int status;
        QStringList lines;  // patterns of whole lines, in this order
    } cases[] = {
        {"reached",
         0,
         "",
         RouterChain::TargetV4(),
         0,
         {hop.arg(QStringLiteral("  4"), RouterChain::TargetV4()), "", "Rounds: 2"}},
        {"router 3 answers unreachable",
         3,
         "add rule inet txchain forward icmp type echo-request reject with icmp type "
         "host-unreachable\n",
         RouterChain::TargetV4(),
         1,
         {hop.arg(QStringLiteral("  4"), r3) + "  Destination Host Unreachable", "",
          QStringLiteral("Destination Host Unreachable from %1 at hop 4: the target was not "
                         "reached\\.")
              .arg(r3),
          "Rounds: 2"}},
        {"no such host behind router 2",
         0,
         "",
         QStringLiteral("10.77.3.99"),
         1,
         {hop.arg(QStringLiteral("  3"), r2) + "  Destination Host Unreachable", "",
          QStringLiteral("Destination Host Unreachable from %1 at hop 3: the target was not "
                         "reached\\.")
              .arg(r2),
          "Rounds: 2"}},
        {"the target keeps silent",
         4,
         "add chain inet txchain input { type filter hook input priority 0; policy accept; }\n"
         "add rule inet txchain input icmp type echo-request drop\n",
         RouterChain::TargetV4(),
         1,
         {hop.arg(QStringLiteral("  3"), r3), "4-30  \\?\\?\\?  no answer +2  100%.*", "",
          "No answer from hop 4 to 30: the target was not reached\\.", "Rounds: 2"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.node == 0 || chain.Nft(c.node, c.rules));
        // Router 2 gives up on a neighbour that does not answer after about three seconds.
        const ProgramOutcome outcome = run({"--trace", "-c", "2", "-W", "4000", c.target});
        EXPECT_EQ(outcome.status, c.status) << outcome.err.toStdString();
        const QStringList lines = QString::fromUtf8(outcome.out).split(QLatin1Char('\n'));
        int from = 0;
        for (const QString &pattern : c.lines) {
            const QRegularExpression whole(QRegularExpression::anchoredPattern(pattern));
            int at = from;
            while (at < lines.size() && !whole.match(lines.at(at)).hasMatch()) {
                ++at;
            }
            EXPECT_LT(at, lines.size())
                << "missing or out of order: " << pattern.toStdString() << "\n"
                << outcome.out.toStdString();
            from = at < lines.size() ? at + 1 : from;
        }
        if (c.node != 0) {
            ASSERT_TRUE(chain.Nft(c.node, c.node == 4 ? "delete chain inet txchain input\n"
                                                      : "flush chain inet txchain forward\n"));
        }
    }

    // A name that does not resolve: nothing is sent, no hop is made up, the error is the run's.
    const ProgramOutcome unresolved = run({"--trace", "-c", "1", "nosuch.invalid"});
    EXPECT_EQ(unresolved.status, 2);
    EXPECT_TRUE(unresolved.out.isEmpty()) << unresolved.out.toStdString();
    // (Exec gives the error output without its last line break.)
    EXPECT_EQ(unresolved.err.trimmed(),
              QStringLiteral("tarvex: nosuch.invalid: the name does not resolve."));
    const ProgramOutcome json = run({"--trace", "-c", "1", "nosuch.invalid", "--format", "json"});
    EXPECT_EQ(json.status, 2);
    const QJsonObject trace =
        QJsonDocument::fromJson(json.out).object().value("runs").toArray().at(0).toObject();
    EXPECT_EQ(trace.value("hops").toArray().size(), 0) << json.out.toStdString();
    const QStringList told = {ResultRow({"error", "nosuch.invalid", "The name does not resolve."})};
    EXPECT_EQ(ReadResultsBack(json.out, "json"), told);
    const ProgramOutcome csv = run({"--trace", "-c", "1", "nosuch.invalid", "--format", "csv"});
    EXPECT_EQ(csv.status, 2);
    EXPECT_EQ(ReadResultsBack(csv.out, "csv"), told);
}
