// Real echo requests: to 127.0.0.1, and inside a network namespace that the test creates, where
// nftables rules reject or drop the requests to two loopback addresses.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QFile>
#include <QTextDocument>
#include <thread>

#include "RealEcho.h"
#include "common/Errors.h"
#include "common/TX_Edit.h"
#include "ping/EchoService.h"
#include "ping/PingRun.h"
#include "ping/PingStatus.h"
#include "support/EchoNamespace.h"
#include "support/RunDrivers.h"

namespace {

// Loopback of each family: the largest payload a request carries without fragments on its MTU of
// 1500, other ways to type it, and the address line of a run.
struct LoopbackCase {
    const char *family;
    QString loopback;
    quint16 largest;
    QStringList forms;
    QString addressLine;
};

class IcmpEchoLoopback : public ::testing::TestWithParam<LoopbackCase> {
  protected:
    void SetUp() override {
        std::string reason;
        service_ = OpenOrSkipReason(GetParam().loopback, &reason);
        if (!service_) {
            GTEST_SKIP() << reason;
        }
    }

    std::unique_ptr<TIcmpEchoService> service_;
};

}  // namespace

TEST_P(IcmpEchoLoopback, AnswersWithStatusZeroInAnyOfItsForms) {
    const LoopbackCase &row = GetParam();
    for (quint16 size : {quint16(32), quint16(0), row.largest, quint16(9000)}) {
        const TPingReply reply = Ask(*service_, row.loopback, size);
        EXPECT_EQ(reply.StatusCode, std::optional<qint32>(0)) << size;
        EXPECT_EQ(reply.ProtocolAddress, row.loopback);
        EXPECT_EQ(reply.ReplySize, size);
        EXPECT_EQ(reply.TimeToLive, 64u);  // the reply's TTL or hop limit
    }
    for (const QString &typed : row.forms) {
        const TPingReply reply = Ask(*service_, typed);
        EXPECT_EQ(reply.StatusCode, std::optional<qint32>(0)) << typed.toStdString();
        EXPECT_EQ(reply.ProtocolAddress, row.loopback) << typed.toStdString();
    }
}

TEST_P(IcmpEchoLoopback, ARealRun) {
    const LoopbackCase &row = GetParam();
    ExpectAnsweredRun(RunPing(row.loopback), row.loopback, row.loopback, row.addressLine);
}

INSTANTIATE_TEST_SUITE_P(
    BothFamilies, IcmpEchoLoopback,
    ::testing::Values(LoopbackCase{"IPv4",
                                   QStringLiteral("127.0.0.1"),
                                   1472,
                                   {QStringLiteral("localhost")},
                                   QStringLiteral("IPv4 - 127.0.0.1\t\tAddress - 127.0.0.1")},
                      LoopbackCase{"IPv6",
                                   QStringLiteral("::1"),
                                   1452,
                                   {QStringLiteral("[::1]"), QStringLiteral("http://[::1]:8080/"),
                                    QStringLiteral("0:0:0:0:0:0:0:1"),
                                    QStringLiteral("[0::1]:80/index.html")},
                                   QStringLiteral("IPv6 - ::1\t\tAddress - ::1")}),
    [](const ::testing::TestParamInfo<LoopbackCase> &info) {
        return std::string(info.param.family);
    });

TEST(IcmpEcho, ANameThatCannotResolveGivesANullStatus) {
    std::unique_ptr<TIcmpEchoService> service;
    try {
        service = std::make_unique<TIcmpEchoService>();
    } catch (const TxError &error) {
        GTEST_SKIP() << "no ICMP socket here: " << error.Message().toStdString();
    }
    // A typed text longer than any name, too: it is a request that cannot be processed, not a
    // failure of the service.
    for (const QString &name :
         {QStringLiteral("no-such-host.invalid"), QStringLiteral("NO.SUCH.INVALID."), QString(),
          QString(40000, QLatin1Char('x'))}) {
        const std::optional<TPingReply> reply = service->ExecQuery(TEchoQuery{name, {32, 500}});
        ASSERT_TRUE(reply.has_value());
        EXPECT_FALSE(reply->StatusCode.has_value()) << name.toStdString();
        EXPECT_EQ(ReplyLine(reply, name),
                  QStringLiteral("Reply from %1: Error processing request").arg(name));
    }
}

TEST(IcmpEcho, RejectedAndDroppedRequestsInsideANamespace) {
    EchoNamespace ns;
    if (!ns.Problem().isEmpty()) {
        GTEST_SKIP() << ns.Problem().toStdString();
    }
    for (TIcmpSocketKind kind : {TIcmpSocketKind::Datagram, TIcmpSocketKind::Raw}) {
        SCOPED_TRACE(kind == TIcmpSocketKind::Datagram ? "datagram socket" : "raw socket");
        std::unique_ptr<TIcmpEchoService> service = ns.OpenService(kind);
        ASSERT_NE(service, nullptr);
        EXPECT_EQ(service->Kind(), kind);

        const TPingReply answered = Ask(*service, QStringLiteral("127.0.0.1"), 100);
        EXPECT_EQ(answered.StatusCode, std::optional<qint32>(0));
        EXPECT_EQ(answered.ReplySize, 100u);

        const TPingReply rejected = Ask(*service, QStringLiteral("127.0.0.2"));
        EXPECT_EQ(rejected.StatusCode, std::optional<qint32>(11003));
        EXPECT_EQ(ReplyLine(rejected, QStringLiteral("127.0.0.2")),
                  QStringLiteral("Reply from 127.0.0.2: Destination Host Unreachable"));

        const TPingReply dropped = Ask(*service, QStringLiteral("127.0.0.3"), 32, 300);
        EXPECT_EQ(dropped.StatusCode, std::optional<qint32>(11010));
        EXPECT_EQ(ReplyLine(dropped, QStringLiteral("127.0.0.3")),
                  QStringLiteral("Reply from 127.0.0.3: Request Timed Out"));

        // A late or stray message never answers a later request.
        EXPECT_EQ(Ask(*service, QStringLiteral("127.0.0.1")).StatusCode, std::optional<qint32>(0));
    }

    // Where ping_group_range lets the group in, the unprivileged socket is the one chosen.
    const std::unique_ptr<TIcmpEchoService> automatic = ns.OpenService(TIcmpSocketKind::Automatic);
    ASSERT_NE(automatic, nullptr);
    EXPECT_EQ(automatic->Kind(), TIcmpSocketKind::Datagram);
}

TEST(IcmpEcho, NoPermittedSocketIsAClearError) {
    QFile range(QStringLiteral("/proc/sys/net/ipv4/ping_group_range"));
    ASSERT_TRUE(range.open(QIODevice::ReadOnly));
    const QList<QByteArray> bounds = range.readAll().simplified().split(' ');
    if (geteuid() != 0 || bounds.size() != 2 || bounds[0].toLongLong() <= bounds[1].toLongLong()) {
        GTEST_SKIP() << "needs root and datagram ICMP sockets closed to every group";
    }
    // Credentials are per thread in the kernel: the raw system call drops root (and with it
    // CAP_NET_RAW) for this one thread only, keeping the saved user id to come back.
    QString message;
    std::thread unprivileged([&message] {
        if (syscall(SYS_setresuid, -1, 65534, -1) != 0) {
            message = QStringLiteral("setresuid failed");
            return;
        }
        try {
            TIcmpEchoService service;
            message = QStringLiteral("opened");
        } catch (const TxError &error) {
            message = error.Message();
        }
        syscall(SYS_setresuid, -1, 0, -1);
    });
    unprivileged.join();
    EXPECT_TRUE(message.startsWith(QStringLiteral(
        "Cannot send echo requests: this user may open neither an ICMP datagram socket")))
        << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("CAP_NET_RAW"))) << message.toStdString();
}

TEST(IcmpEcho, ARunForAFortyThousandCharacterAddressEndsWithItsStatistics) {
    try {
        TIcmpEchoService probe;
    } catch (const TxError &error) {
        GTEST_SKIP() << "no ICMP socket here: " << error.Message().toStdString();
    }
    RunPanes panes;
    TPingRunInput input = PingInput(QString(40000, QLatin1Char('a')));
    input.Echo.TimeOut = 500;
    StandardPing(input, panes.targets);

    const QStringList lines = PaneLines(&panes.debugMemo);
    ASSERT_EQ(lines.size(), 10);
    EXPECT_EQ(lines[1], QStringLiteral("Pinging %1 with 32 bytes of data:").arg(input.PingAddress));
    for (int i = 3; i < 7; ++i) {
        EXPECT_EQ(lines[i],
                  QStringLiteral("Reply from %1: Error processing request").arg(input.PingAddress));
    }
    EXPECT_EQ(lines[8], QStringLiteral("Ping statistics for %1; IPv4 - ").arg(input.PingAddress));
    EXPECT_EQ(lines[9], QStringLiteral("Packets: Sent = 4, Received = 0, Lost = 4 [ 100% loss ]"));
    EXPECT_EQ(PaneLines(&panes.addressMemo), QStringList(QString()));
}
