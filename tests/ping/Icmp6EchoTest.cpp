// Real ICMPv6 echo requests: to ::1, and inside a network namespace that the test creates, with
// ULA addresses on its loopback, nftables rules that reject, drop, or let through only requests
// of one hop limit, and a hosts file of its own with a name that has only an IPv6 address and a
// name that has both.
//
// Programs see a namespace's hosts file only when "ip netns exec" starts them, so the test that
// makes the namespace starts this executable again in there to run the IcmpEcho6Inside tests.
#include <errno.h>
#include <gtest/gtest.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTextDocument>
#include <cstddef>
#include <functional>
#include <thread>

#include "RealEcho.h"
#include "common/Errors.h"
#include "common/TX_Edit.h"
#include "ping/EchoService.h"
#include "ping/PingRun.h"
#include "ping/PingStatus.h"
#include "support/EchoNamespace.h"

namespace {

// Set in the copy of this executable that runs inside the namespace.
const char kInsideVariable[] = "TARVEX_TEST_ECHO6_INSIDE";

bool Inside() {
    return !qEnvironmentVariableIsEmpty(kInsideVariable);
}

// The addresses on the namespace's loopback (EchoNamespace::AddIpv6Targets), and what the rules
// do to echo requests to them.
const QString kAnswers = QStringLiteral("fd7a:5ee::1");   // answers
const QString kRejects = QStringLiteral("fd7a:5ee::2");   // address unreachable
const QString kSilent = QStringLiteral("fd7a:5ee::3");    // dropped
const QString kHopLimit = QStringLiteral("fd7a:5ee::4");  // answers hop limit 77 only
const QString kV6Only = QStringLiteral("fd7a:5ee::10");   // the only address of v6only.test

const QByteArray kHosts =
    "127.0.0.1 localhost\n"
    "::1 localhost ip6-localhost\n"
    "fd7a:5ee::10 v6only.test\n"
    "fd7a:5ee::1 dual.test\n"
    "127.0.0.1 dual.test\n";

// Runs `work` on a thread of its own on which every attempt to open an IPv6 socket fails with
// `error`, as on a system without IPv6 (EAFNOSUPPORT) or for a user who may open none (EACCES).
// A seccomp filter installed without TSYNC binds only the thread that installs it, and goes with
// it. Returns false, without running `work`, when the filter cannot be installed.
bool RunWithoutIpv6Sockets(int error, const std::function<void()> &work) {
    bool installed = false;
    std::thread restricted([&] {
        sock_filter filter[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_socket, 0, 3),
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AF_INET6, 0, 1),
            BPF_STMT(BPF_RET | BPF_K,
                     SECCOMP_RET_ERRNO | (static_cast<unsigned>(error) & SECCOMP_RET_DATA)),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        };
        sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
        installed = prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
                    prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program, 0, 0) == 0;
        if (installed) {
            work();
        }
    });
    restricted.join();
    return installed;
}

}  // namespace

TEST(IcmpEcho6, Ipv4GoesOnThroughTheSameServiceInBetweenAndAfter) {
    std::string reason;
    const std::unique_ptr<TIcmpEchoService> service =
        OpenOrSkipReason(QStringLiteral("::1"), &reason);
    if (!service) {
        GTEST_SKIP() << reason;
    }
    EXPECT_EQ(Ask(*service, QStringLiteral("127.0.0.1")).ProtocolAddress,
              QStringLiteral("127.0.0.1"));
    EXPECT_EQ(Ask(*service, QStringLiteral("::1")).StatusCode, std::optional<qint32>(0));
}

TEST(IcmpEcho6, WithoutIpv6SocketsIpv4GoesOnAndEachIpv6RequestSaysWhy) {
#ifndef __x86_64__
    GTEST_SKIP() << "the seccomp filter of this test is written for x86-64";
#endif
    std::string reason;
    if (!OpenOrSkipReason(QStringLiteral("::1"), &reason)) {
        GTEST_SKIP() << reason;
    }
    const struct {
        int error;
        const char *text;
    } rows[] = {
        {EAFNOSUPPORT,
         "Cannot send echo requests: this system has no IPv6 (Address family not supported by "
         "protocol)."},
        // The text IPv4 gives when no socket may be opened.
        {EACCES,
         "Cannot send echo requests: this user may open neither an ICMP datagram socket "
         "(net.ipv4.ping_group_range does not include the group; Permission denied) nor a raw "
         "socket (it needs root or CAP_NET_RAW; Permission denied)."},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.text);
        std::unique_ptr<TIcmpEchoService> service;
        ASSERT_TRUE(RunWithoutIpv6Sockets(
            row.error, [&service] { service = std::make_unique<TIcmpEchoService>(); }));
        ASSERT_NE(service, nullptr);
        EXPECT_EQ(service->Ipv6Kind(), TIcmpSocketKind::Automatic);
        for (int round = 0; round < 2; ++round) {
            EXPECT_EQ(Ask(*service, QStringLiteral("127.0.0.1")).StatusCode,
                      std::optional<qint32>(0));
            try {
                service->ExecQuery(TEchoQuery{QStringLiteral("::1"), {32, 1000}});
                ADD_FAILURE() << "an IPv6 request went out";
            } catch (const TxError &error) {
                EXPECT_EQ(error.Message(), QLatin1String(row.text));
            }
        }
    }
}

TEST(IcmpEcho6, InsideANamespaceWithItsOwnHostsFile) {
    if (Inside()) {
        GTEST_SKIP() << "this copy runs the IcmpEcho6Inside tests";
    }
    EchoNamespace ns;
    ns.AddIpv6Targets();
    ns.WriteHosts(kHosts);
    if (!ns.Problem().isEmpty()) {
        GTEST_SKIP() << ns.Problem().toStdString();
    }

    QProcess inside;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kInsideVariable), QStringLiteral("1"));
    inside.setProcessEnvironment(environment);
    inside.setProcessChannelMode(QProcess::MergedChannels);
    inside.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("exec"), ns.Name(),
                                        QCoreApplication::applicationFilePath(),
                                        QStringLiteral("--gtest_filter=IcmpEcho6Inside.*")});
    ASSERT_TRUE(inside.waitForFinished(300000));
    const QByteArray output = inside.readAll();
    EXPECT_EQ(inside.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(inside.exitCode(), 0) << output.toStdString();
    // Every inside test ran, none was skipped.
    EXPECT_TRUE(output.contains("[  PASSED  ] 3 tests.")) << output.toStdString();
}

TEST(IcmpEcho6Inside, AnswersErrorsAndSilenceOnBothKindsOfSocket) {
    if (!Inside()) {
        GTEST_SKIP() << "runs in the namespace of IcmpEcho6.InsideANamespaceWithItsOwnHostsFile";
    }
    for (TIcmpSocketKind kind : {TIcmpSocketKind::Datagram, TIcmpSocketKind::Raw}) {
        SCOPED_TRACE(kind == TIcmpSocketKind::Datagram ? "datagram socket" : "raw socket");
        TIcmpEchoService service(kind);
        EXPECT_EQ(service.Ipv6Kind(), kind);

        for (quint16 size : {quint16(100), quint16(65527)}) {
            const TPingReply answered = Ask(service, kAnswers, size);
            EXPECT_EQ(answered.StatusCode, std::optional<qint32>(0));
            EXPECT_EQ(answered.ProtocolAddress, kAnswers);
            EXPECT_EQ(answered.ReplySize, size);
            EXPECT_EQ(answered.TimeToLive, 64u);
        }

        const TPingReply rejected = Ask(service, kRejects);
        EXPECT_EQ(rejected.StatusCode, std::optional<qint32>(11003));
        EXPECT_EQ(ReplyLine(rejected, kRejects),
                  QStringLiteral("Reply from fd7a:5ee::2: Destination Host Unreachable"));

        const TPingReply dropped = Ask(service, kSilent, 32, 300);
        EXPECT_EQ(ReplyLine(dropped, kSilent),
                  QStringLiteral("Reply from fd7a:5ee::3: Request Timed Out"));

        // The TTL setting is the requests' hop limit; 0 gives the system's own back.
        EXPECT_EQ(Ask(service, kHopLimit, 32, 300, 77).StatusCode, std::optional<qint32>(0));
        EXPECT_EQ(Ask(service, kHopLimit, 32, 300, 0).StatusCode, std::optional<qint32>(11010));
        EXPECT_EQ(Ask(service, kHopLimit, 32, 300, 77).StatusCode, std::optional<qint32>(0));

        // More than an IPv6 packet can carry without jumbograms never leaves.
        EXPECT_EQ(ReplyLine(Ask(service, kAnswers, 65535), kAnswers),
                  QStringLiteral("Reply from fd7a:5ee::1: Packet Too Big"));

        // A late or stray message never answers a later request.
        EXPECT_EQ(Ask(service, QStringLiteral("::1")).StatusCode, std::optional<qint32>(0));
    }
}

TEST(IcmpEcho6Inside, RunsWriteTheIpv6LinesAndNamesWithIpv4AddressesStayOnIpv4) {
    if (!Inside()) {
        GTEST_SKIP() << "runs in the namespace of IcmpEcho6.InsideANamespaceWithItsOwnHostsFile";
    }
    ExpectAnsweredRun(RunPing(QStringLiteral("::1")), QStringLiteral("::1"), QStringLiteral("::1"),
                      QStringLiteral("IPv6 - ::1\t\tAddress - ::1"));
    ExpectAnsweredRun(RunPing(QStringLiteral("v6only.test")), QStringLiteral("v6only.test"),
                      kV6Only, QStringLiteral("IPv6 - fd7a:5ee::10\tAddress - v6only.test"));
    ExpectAnsweredRun(RunPing(QStringLiteral("dual.test")), QStringLiteral("dual.test"),
                      QStringLiteral("127.0.0.1"),
                      QStringLiteral("IPv4 - 127.0.0.1\t\tAddress - dual.test"));
    ExpectAnsweredRun(RunPing(QStringLiteral("http://[FD7A:5EE::1]:8080/")),
                      QStringLiteral("http://[FD7A:5EE::1]:8080/"), kAnswers,
                      QStringLiteral("IPv6 - fd7a:5ee::1\t\tAddress - http://[FD7A:5EE::1]:8080/"));
    ExpectAnsweredRun(RunPing(kHopLimit, 4, 2000, 77), kHopLimit, kHopLimit,
                      QStringLiteral("IPv6 - fd7a:5ee::4\t\tAddress - fd7a:5ee::4"));

    // No answers: the lines of an IPv4 run without answers, with the IPv6 address.
    const RealRun silent = RunPing(kSilent, 2, 300);
    EXPECT_EQ(silent.results.mid(1),
              QStringList({QStringLiteral("Pinging fd7a:5ee::3 with 32 bytes of data:"), QString(),
                           QStringLiteral("Reply from fd7a:5ee::3: Request Timed Out"),
                           QStringLiteral("Reply from fd7a:5ee::3: Request Timed Out"), QString(),
                           QStringLiteral("Ping statistics for fd7a:5ee::3; IPv6 - fd7a:5ee::3"),
                           QStringLiteral("Packets: Sent = 2, Received = 0, Lost = 2 [ 100% "
                                          "loss ]")}));
    EXPECT_EQ(silent.addresses, QStringList{kSilent});

    const RealRun rejected = RunPing(QStringLiteral("FD7A:5EE:0::2"), 2);
    EXPECT_EQ(
        rejected.results.mid(1),
        QStringList({QStringLiteral("Pinging FD7A:5EE:0::2 with 32 bytes of data:"), QString(),
                     QStringLiteral("Reply from fd7a:5ee::2: Destination Host Unreachable"),
                     QStringLiteral("Reply from fd7a:5ee::2: Destination Host Unreachable"),
                     QString(),
                     QStringLiteral("Ping statistics for FD7A:5EE:0::2; IPv6 - fd7a:5ee::2"),
                     QStringLiteral("Packets: Sent = 2, Received = 0, Lost = 2 [ 100% loss ]")}));
    EXPECT_EQ(rejected.addresses, QStringList{kRejects});
}

TEST(IcmpEcho6Inside, ANameWithoutAnyAddressIsStillAnErrorProcessingTheRequest) {
    if (!Inside()) {
        GTEST_SKIP() << "runs in the namespace of IcmpEcho6.InsideANamespaceWithItsOwnHostsFile";
    }
    // The namespace has no name server: a name missing from its hosts file resolves to nothing,
    // over IPv4 and IPv6 alike.
    const RealRun run = RunPing(QStringLiteral("missing.test"), 1, 300);
    EXPECT_EQ(run.results.value(3),
              QStringLiteral("Reply from missing.test: Error processing request"));
    EXPECT_EQ(run.results.value(5), QStringLiteral("Ping statistics for missing.test; IPv4 - "));
    EXPECT_EQ(run.addresses, QStringList{QString()});
}
