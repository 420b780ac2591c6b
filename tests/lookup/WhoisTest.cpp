#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextDocument>
#include <atomic>
#include <chrono>
#include <thread>

#include "common/BlockingCall.h"
#include "common/Errors.h"
#include "common/TX_Edit.h"
#include "lookup/DataUnit.h"
#include "lookup/Whois.h"
#include "lookup/WhoisZones.h"
#include "settings/Services.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"

namespace {

QByteArray Fixture(const QString &name) {
    QFile file(SourcePath(QStringLiteral("tests/lookup/fixtures/") + name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll();
}

// A WHOIS server that records the query line and answers with `reply`, then closes. The reply
// goes out in several writes with pauses between them, as a real server's does over a slow
// line, so a client that stops reading after the first piece gets a cut reply.
LoopbackServer::Handler Answering(const QByteArray &reply) {
    return [reply](LoopbackConnection &connection, LoopbackServer &server) {
        server.Record(connection.ReadLine());
        constexpr int kPieces = 4;
        const qsizetype size = (reply.size() + kPieces - 1) / kPieces;
        for (qsizetype at = 0; at < reply.size(); at += size) {
            if (at > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(40));
            }
            connection.Write(reply.mid(at, size));
        }
    };
}

TEST(WhoisZoneTable, HasAllZonesInOrderWithTheirSeparators) {
    const QStringList lines = WhoisZoneTable().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 286);
    EXPECT_EQ(lines.first(), QStringLiteral("ac \t| whois.nic.ac"));
    EXPECT_TRUE(lines.last().startsWith(QStringLiteral("zlg.br \t| ")));

    const QRegularExpression usual(QStringLiteral("^([a-z0-9.]+) \t\\| ([a-z0-9.-]+)$"));
    QStringList zones;
    for (const QString &line : lines) {
        const QString zone = line.section(QLatin1Char('|'), 0, 0).trimmed();
        zones << zone;
        if (zone == QLatin1String("emu.id.au") || zone == QLatin1String("wattle.id.au")) {
            EXPECT_EQ(line, zone + QStringLiteral(" | whois.auda.org.au"));
        } else if (zone == QLatin1String("eun.eg")) {
            EXPECT_TRUE(line.startsWith(QStringLiteral("eun.eg\t| "))) << line.toStdString();
        } else {
            EXPECT_TRUE(usual.match(line).hasMatch()) << line.toStdString();
        }
    }
    // The two keys listed twice carry two different registry hosts.
    for (const QString &twice : {QStringLiteral("com.ua"), QStringLiteral("edu")}) {
        EXPECT_EQ(zones.count(twice), 2);
        const int first = zones.indexOf(twice);
        EXPECT_EQ(zones.at(first + 1), twice);
        EXPECT_NE(lines.at(first), lines.at(first + 1));
    }
    EXPECT_EQ(zones.mid(57, 4), (QStringList{QStringLiteral("com.tr"), QStringLiteral("com.tw"),
                                             QStringLiteral("com.ua"), QStringLiteral("com.ua")}));
}

TEST(WhoisZone, CutsUpToTheFirstPoint) {
    const struct {
        const char *url;
        const char *zone;
    } cases[] = {
        {"a.b.c", "b.c"},
        {"b.c", "c"},
        {"localhost", "localhost"},
        {"", ""},
        {"example.", ""},
        {".com", "com"},
        {"192.168.1.10", "168.1.10"},
        {"http://www.example.com/x", "example.com/x"},
    };
    TPingDataModule module;
    for (const auto &c : cases) {
        EXPECT_EQ(WhoisZone(QString::fromLatin1(c.url)), QString::fromLatin1(c.zone)) << c.url;
        EXPECT_EQ(module.GetZona(QString::fromLatin1(c.url)), QString::fromLatin1(c.zone));
    }
}

TEST(WhoisZone, MatchesAnywhereInTheTableCaseSensitively) {
    const QStringList table = WhoisZoneTable().split(QLatin1Char('\n'));
    const struct {
        const char *address;
        bool listed;
    } cases[] = {
        {"example.com", true},             // bare second-level name: zone "com"
        {"www.example.com", false},        // zone "example.com" is nowhere in the table
        {"EXAMPLE.COM", false},            // "COM": the test is case-sensitive
        {"", false},                       // empty zone never matches
        {"example.", false},               // only point at the end: empty zone
        {"192.168.1.10", false},           // dotted IPv4: "168.1.10"
        {"whois.verisign-grs.com", true},  // "verisign-grs.com" occurs only inside a host
        {"a.whois.nic", true},             // "whois.nic" is part of many hosts
        {"example.com.ua", true},          // a table zone
        {"localhost", false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(WhoisZoneListed(table, WhoisZone(QString::fromLatin1(c.address))), c.listed)
            << c.address;
    }
}

TEST(WhoisLine, IsLaidOutAsKeyTabsValue) {
    const struct {
        const char *name;
        QString line;
        QString shown;
    } cases[] = {
        {"descr with ten blanks", QStringLiteral("descr:          Documentation block"),
         QStringLiteral("descr:\t\t\tDocumentation block")},
        {"fourteen-character key", QStringLiteral("abuse-mailbox:  abuse@example.net"),
         QStringLiteral("abuse-mailbox:\t\tabuse@example.net")},
        {"eight-character key", QStringLiteral("inetnum:        192.0.2.0 - 192.0.2.255"),
         QStringLiteral("inetnum:\t\t\t192.0.2.0 - 192.0.2.255")},
        {"nine-character key org-type", QStringLiteral("org-type:       LIR"),
         QStringLiteral("org-type:\t\t\tLIR")},
        {"nine-character other key", QStringLiteral("org-name:x  Example"),
         QStringLiteral("org-name:\t\tx Example")},
        {"only the first colon splits", QStringLiteral("last-modified:  2024-05-20T09:11:41Z"),
         QStringLiteral("last-modified:\t\t2024-05-20T09:11:41Z")},
        {"percent line keeps its text", QStringLiteral("%       To receive:  output"),
         QStringLiteral("% To receive: output")},
        {"percent anywhere", QStringLiteral("remarks:  100% uptime"),
         QStringLiteral("remarks: 100% uptime")},
        {"empty line", QString(), QStringLiteral("\t\t\t")},
        {"no results", QStringLiteral("No results."), QStringLiteral("\t\t\tNo results.")},
        {"value right at the colon keeps its first character", QStringLiteral("remarks:value"),
         QStringLiteral("remarks:\t\t\tvalue")},
        {"fourteen blanks become two", QStringLiteral("a              b"),
         QStringLiteral("\t\t\ta  b")},
        {"eight blanks become one", QStringLiteral("a        b"), QStringLiteral("\t\t\ta b")},
        {"colon at the end", QStringLiteral("remarks:"), QStringLiteral("remarks:\t\t\t")},
        // Control characters are shown, never passed on to a terminal or the pane.
        {"NUL and escape shown", QString::fromUtf8("remarks: a\0b\x1b[2Jc\x7f", 18),
         QString::fromUtf8("remarks:\t\t\ta\u2400b\u241b[2Jc\u2421")},
        {"form feed and bell shown", QString::fromUtf8("x\fy\az"),
         QString::fromUtf8("\t\t\tx\u240cy\u2407z")},
        {"C1 control and separators replaced", QString::fromUtf8("a\u009bb\u2028c\u2029d"),
         QString::fromUtf8("\t\t\ta\ufffdb\ufffdc\ufffdd")},
        {"tab and other text kept", QString::fromUtf8("remarks: caf\u00e9\tx"),
         QString::fromUtf8("remarks:\t\t\tcaf\u00e9\tx")},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(FormatWhoisLine(c.line), c.shown) << c.name;
    }
}

// The pane gets a reply's control characters as symbols: a separator in the reply does not
// split its line, and no NUL reaches the document.
TEST(WhoisResult, ControlCharactersReachThePaneShown) {
    QTextDocument pane;
    WriteWhoisResult(&pane, QString::fromUtf8("remarks: a\0b\u2029c\n", 17), Qt::gray);
    const QStringList lines = PaneLines(&pane);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.last(), QString::fromUtf8("remarks:\t\t\ta\u2400b\ufffdc"));
    EXPECT_FALSE(pane.toPlainText().contains(QChar(0)));
}

TEST(WhoisReply, SplitsAtEveryKindOfLineEnd) {
    EXPECT_EQ(WhoisReplyLines(QStringLiteral("a\r\nb\rc\nd\n")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                           QStringLiteral("d")}));
    EXPECT_EQ(WhoisReplyLines(QStringLiteral("a\n\n")),
              (QStringList{QStringLiteral("a"), QString()}));
    EXPECT_EQ(WhoisReplyLines(QStringLiteral("No results.")),
              QStringList{QStringLiteral("No results.")});
    EXPECT_TRUE(WhoisReplyLines(QString()).isEmpty());
}

TEST(WhoisResult, HeaderInBoldThenTheReplyInRegularStyle) {
    QTextDocument pane;
    pane.setPlainText(QStringLiteral("previous ping results"));
    const QColor info(0x12, 0x34, 0x56);
    WriteWhoisResult(&pane, QStringLiteral("% comment\ninetnum:        192.0.2.0\n"), info);

    const QStringList expected{
        QStringLiteral("WhoIs Server:\t https://apps.db.ripe.net/db-web-ui/query"),
        QStringLiteral("Zona:\t\tEurope"),
        QString(),
        QStringLiteral("RESULT:"),
        QString(),
        QStringLiteral("% comment"),
        QStringLiteral("inetnum:\t\t\t192.0.2.0"),
    };
    EXPECT_EQ(PaneLines(&pane), expected);
    int index = 0;
    for (QTextBlock block = pane.begin(); block.isValid() && index < expected.size();
         block = block.next(), ++index) {
        const QTextCharFormat format =
            block.text().isEmpty() ? block.charFormat() : block.begin().fragment().charFormat();
        EXPECT_EQ(format.fontWeight() == QFont::Bold, index < 5) << index;
        EXPECT_EQ(format.foreground().color(), info) << index;
    }
}

class WhoisServer : public ::testing::Test {
  protected:
    void TearDown() override { SetServiceSettings({}); }
};

TEST_F(WhoisServer, FullLookupSendsTheResolvedAddressAndReturnsTheReply) {
    const QByteArray reply = Fixture(QStringLiteral("ripe_reply.txt"));
    LoopbackServer server(Answering(reply));
    // A table line holding "localhost" lets the name itself pass the zone check; it resolves on
    // this machine without any name server.
    const QStringList table{QStringLiteral("localhost \t| whois.example.test")};

    const QString text = WhoisLookup(table, QStringLiteral("localhost"), server.HostPort());

    EXPECT_EQ(text, QString::fromUtf8(reply));
    EXPECT_EQ(server.Recorded(), QList<QByteArray>{"127.0.0.1\r\n"});
}

TEST_F(WhoisServer, DataModuleUsesTheServiceOverrideAndItsTable) {
    LoopbackServer server(Answering(Fixture(QStringLiteral("ripe_reply.txt"))));
    SetServiceSettings({{QStringLiteral("Whois Server"), server.HostPort()}});
    TPingDataModule module;
    module.CreateWhoIsServerList(QStringLiteral("localhost \t| whois.example.test\ncom \t| x"));
    ASSERT_EQ(module.WhoIsServerList.size(), 2);

    const QString reply = module.GetRIPE(QStringLiteral("localhost"));
    EXPECT_TRUE(reply.contains(QStringLiteral("netname:        EXAMPLE-TEST-NET")));
    EXPECT_EQ(server.Recorded(), QList<QByteArray>{"127.0.0.1\r\n"});

    QTextDocument pane;
    WriteWhoisResult(&pane, reply, Qt::gray);
    const QStringList lines = PaneLines(&pane);
    EXPECT_TRUE(lines.contains(QStringLiteral("netname:\t\t\tEXAMPLE-TEST-NET")));
    EXPECT_TRUE(lines.contains(QStringLiteral("abuse-mailbox:\t\tabuse@example.net")));
    EXPECT_TRUE(
        lines.contains(QStringLiteral("% Abuse contact for '192.0.2.0 - 192.0.2.255' is "
                                      "'abuse@example.net'")));
}

TEST_F(WhoisServer, UnlistedZoneGivesNoResultsWithoutAnyConnection) {
    LoopbackServer server(Answering("unexpected"));
    SetServiceSettings({{QStringLiteral("Whois Server"), server.HostPort()}});
    TPingDataModule module;
    module.CreateWhoIsServerList(WhoisZoneTable());
    for (const QString &address : {QStringLiteral("www.example.com"), QStringLiteral("EXAMPLE.COM"),
                                   QString(), QStringLiteral("192.168.1.10"),
                                   // address literals of either family have no listed zone
                                   QStringLiteral("2001:db8::1"), QStringLiteral("::1"),
                                   QStringLiteral("http://[2001:db8::1]:8080/")}) {
        EXPECT_EQ(module.GetRIPE(address), QStringLiteral("No results.")) << address.toStdString();
    }
    EXPECT_EQ(server.Connections(), 0);
}

TEST_F(WhoisServer, UnresolvedNameIsAskedForAsZeroAddress) {
    LoopbackServer server(Answering("% no entries\n"));
    const QStringList table{QStringLiteral("invalid \t| whois.example.test")};
    EXPECT_EQ(WhoisLookup(table, QStringLiteral("nothing.invalid"), server.HostPort()),
              QStringLiteral("% no entries\n"));
    EXPECT_EQ(server.Recorded(), QList<QByteArray>{"0.0.0.0\r\n"});
}

TEST_F(WhoisServer, FailuresRaiseReadableErrors) {
    const QStringList table{QStringLiteral("localhost \t| whois.example.test")};
    LoopbackServer silent([](LoopbackConnection &connection, LoopbackServer &server) {
        server.Record(connection.ReadLine());
        connection.WaitForClose();
    });
    const struct {
        const char *name;
        QString server;
        const char *className;
        const char *messagePart;
    } cases[] = {
        {"server never answers", silent.HostPort(), "EIdReadTimeout", "Read timed out."},
        {"connection refused", QStringLiteral("127.0.0.1:%1").arg(ClosedLoopbackPort()),
         "EIdSocketError", "Connection refused"},
        {"server host not found", QStringLiteral("whois.nowhere.invalid"), "EIdSocketError",
         "Host not found: whois.nowhere.invalid"},
    };
    for (const auto &c : cases) {
        try {
            WhoisLookup(table, QStringLiteral("localhost"), c.server, {300, 60000, kMiB});
            ADD_FAILURE() << c.name << ": no error";
        } catch (const TxError &error) {
            EXPECT_EQ(error.ClassName(), QLatin1String(c.className)) << c.name;
            EXPECT_TRUE(error.Message().contains(QLatin1String(c.messagePart)))
                << c.name << ": " << error.Message().toStdString();
        }
    }
    EXPECT_EQ(silent.Recorded(), QList<QByteArray>{"127.0.0.1\r\n"});
}

// The data module's own time-out ends the wait for a server that never answers. Were it
// ignored, the standard time-out (30 s) would end it far beyond the time limit CTest gives this
// test on its own (whois_time_out), so the test fails there instead of passing late.
TEST_F(WhoisServer, DataModuleTimeOutIsItsOwnSetting) {
    LoopbackServer silent(
        [](LoopbackConnection &connection, LoopbackServer &) { connection.WaitForClose(); });
    SetServiceSettings({{QStringLiteral("Whois Server"), silent.HostPort()}});
    TPingDataModule module;
    module.CreateWhoIsServerList(QStringLiteral("localhost \t| x"));
    module.WhoisLimits.SilenceMs = 200;
    EXPECT_THROW(module.GetRIPE(QStringLiteral("localhost")), TxError);
}

// A server that never ends its reply must not hold the window: one that sends a byte every
// few milliseconds restarts the silence time-out each time, so only the deadline ends it.
TEST_F(WhoisServer, TricklingServerIsStoppedByTheDeadline) {
    std::atomic<bool> clientGone{false};
    LoopbackServer trickling([&](LoopbackConnection &connection, LoopbackServer &) {
        connection.ReadLine();
        while (!clientGone) {
            connection.Write("%");
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    SetServiceSettings({{QStringLiteral("Whois Server"), trickling.HostPort()}});
    TPingDataModule module;
    module.CreateWhoIsServerList(QStringLiteral("localhost \t| x"));
    // The silence time-out alone would never end it: a byte comes every 10 ms.
    module.WhoisLimits = {1000, 1500, kWhoisLimits.MaxBytes};
    try {
        module.GetRIPE(QStringLiteral("localhost"));
        ADD_FAILURE() << "no error";
    } catch (const TxError &error) {
        EXPECT_EQ(error.ClassName(), QStringLiteral("EIdDeadlineExceeded"));
        EXPECT_EQ(error.Message(),
                  QStringLiteral("The exchange did not end within the limit of 1500 ms."));
    }
    clientGone = true;
}

// A server that holds the lookup open, silent or trickling, is left at once when the lookup is
// cancelled: the data module's query (as the window runs it) ends as cancelled with the standard
// limits, long before any of them, and the server sees the connection go.
TEST_F(WhoisServer, ACancelEndsALookupThatAServerHoldsOpen) {
    const struct {
        const char *name;
        bool trickle;
    } rows[] = {{"never closes", false}, {"a byte now and then", true}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        std::atomic<bool> asked{false};
        std::atomic<bool> clientGone{false};
        const bool trickle = row.trickle;
        LoopbackServer holding([&](LoopbackConnection &connection, LoopbackServer &server) {
            server.Record(connection.ReadLine());
            asked = true;
            if (trickle) {
                while (!clientGone) {
                    connection.Write("%");
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
            } else {
                connection.WaitForClose();
                server.Record("closed");
            }
        });
        SetServiceSettings({{QStringLiteral("Whois Server"), holding.HostPort()}});
        TPingDataModule module;
        module.CreateWhoIsServerList(QStringLiteral("localhost \t| x"));
        ASSERT_EQ(module.WhoisLimits.SilenceMs, kWhoisLimits.SilenceMs);
        const auto query = module.RipeQuery(QStringLiteral("localhost"));
        TCancelSignal cancel;
        std::thread canceller([&] {
            while (!asked) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            cancel.Cancel();
        });
        try {
            query(cancel);
            ADD_FAILURE() << "no error";
        } catch (const TxError &error) {
            EXPECT_EQ(error.ClassName(), QStringLiteral("EIdCancelled"));
            EXPECT_EQ(error.Message(), QStringLiteral("The exchange was cancelled."));
        }
        clientGone = true;
        canceller.join();
        if (!trickle) {
            EXPECT_TRUE(WaitUntil([&] { return holding.Recorded().size() == 2; }));
            EXPECT_EQ(holding.Recorded(), (QList<QByteArray>{"127.0.0.1\r\n", "closed"}));
        }
    }
}

// A lookup cancelled before it began asks nobody; one that was never cancelled is unaffected by
// having a signal.
TEST_F(WhoisServer, ACancelledLookupAsksNobody) {
    LoopbackServer server(Answering("% reply\n"));
    const QStringList table{QStringLiteral("localhost \t| whois.example.test")};
    TCancelSignal cancelled;
    cancelled.Cancel();
    EXPECT_THROW(WhoisLookup(table, QStringLiteral("localhost"), server.HostPort(), kWhoisLimits,
                             &cancelled),
                 TxError);
    EXPECT_EQ(server.Connections(), 0);
    TCancelSignal open;
    EXPECT_EQ(
        WhoisLookup(table, QStringLiteral("localhost"), server.HostPort(), kWhoisLimits, &open),
        QStringLiteral("% reply\n"));
}

TEST_F(WhoisServer, RepliesAreTakenUpToOneMebibyte) {
    const QByteArray line = "remarks:        " + QByteArray(47, 'x') + '\n';  // 64 bytes
    const QByteArray oneMebibyte = line.repeated(1024 * 1024 / line.size());
    ASSERT_EQ(oneMebibyte.size(), 1024 * 1024);
    const QStringList table{QStringLiteral("localhost \t| whois.example.test")};

    LoopbackServer full(Answering(oneMebibyte));
    EXPECT_EQ(WhoisLookup(table, QStringLiteral("localhost"), full.HostPort()).size(), 1024 * 1024);

    // 2 MiB: the client stops reading at the limit and fails, naming it.
    LoopbackServer flooding(Answering(oneMebibyte.repeated(2)));
    SetServiceSettings({{QStringLiteral("Whois Server"), flooding.HostPort()}});
    TPingDataModule module;
    module.CreateWhoIsServerList(QStringLiteral("localhost \t| x"));
    try {
        module.GetRIPE(QStringLiteral("localhost"));
        ADD_FAILURE() << "no error";
    } catch (const TxError &error) {
        EXPECT_EQ(error.ClassName(), QStringLiteral("EIdReplyTooLarge"));
        EXPECT_EQ(error.Message(), QStringLiteral("The reply is larger than the limit of 1 MiB."));
    }
}

TEST(WhoisServerAddress, DefaultsToRipeAndTakesTheOverride) {
    EXPECT_EQ(WhoisServerAddress(), QStringLiteral("whois.ripe.net"));
    SetServiceSettings({{QStringLiteral("whois server"), QStringLiteral("127.0.0.1:4343")}});
    EXPECT_EQ(WhoisServerAddress(), QStringLiteral("127.0.0.1:4343"));
    SetServiceSettings({});
}

}  // namespace
