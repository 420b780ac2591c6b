#include "support/RouterChain.h"

#include <unistd.h>

#include <QProcess>
#include <tuple>

#include "ping/EchoFamily.h"
#include "ping/ProbeEngine.h"
#include "support/EchoNamespace.h"

namespace {

const QString kLinkToTarget = QStringLiteral("tot");
const QString kLinkToHost = QStringLiteral("toh");

QString LinkV4(int link, int end) {
    return QStringLiteral("10.77.%1.%2").arg(link).arg(end);
}

QString LinkV6(int link, int end) {
    return QStringLiteral("fd7a:c4a1:%1::%2").arg(link).arg(end);
}

}  // namespace

RouterChain::RouterChain(const QString &tag)
    : base_(QStringLiteral("txch%1%2").arg(getpid()).arg(tag)) {
    Setup();
}

RouterChain::~RouterChain() {
    for (int node = 0; node < created_; ++node) {
        RunCommandLine(QStringLiteral("ip"),
                       {QStringLiteral("netns"), QStringLiteral("del"), NamespaceName(node)});
    }
}

QString RouterChain::NamespaceName(int node) const {
    return base_ + (node == 0       ? QStringLiteral("h")
                    : node == kHops ? QStringLiteral("t")
                                    : QStringLiteral("r%1").arg(node));
}

QString RouterChain::HopV4(int hop) {
    return LinkV4(hop, 2);
}

QString RouterChain::HopV6(int hop) {
    return LinkV6(hop, 2);
}

bool RouterChain::Ip(const QStringList &arguments) {
    if (!problem_.isEmpty()) {
        return false;
    }
    QString errors;
    if (RunCommandLine(QStringLiteral("ip"), arguments, {}, &errors) != 0) {
        problem_ = QStringLiteral("the router chain cannot be set up (ip %1): %2")
                       .arg(arguments.join(QLatin1Char(' ')), errors);
        return false;
    }
    return true;
}

bool RouterChain::IpIn(int node, const QStringList &arguments) {
    return Ip(QStringList{QStringLiteral("-n"), NamespaceName(node)} + arguments);
}

bool RouterChain::Setup() {
    for (int node = 0; node <= kHops; ++node) {
        // A namespace of the same name left by a crashed run of the same pid would refuse "add".
        RunCommandLine(QStringLiteral("ip"),
                       {QStringLiteral("netns"), QStringLiteral("del"), NamespaceName(node)});
        if (!Ip({QStringLiteral("netns"), QStringLiteral("add"), NamespaceName(node)})) {
            problem_ = QStringLiteral("ip netns add is not permitted here: ") + problem_;
            return false;
        }
        ++created_;
        // Set before the links exist, so that their IPv6 addresses (the link-local ones too)
        // skip duplicate address detection: a tentative address would drop the first packets.
        QStringList settings = {QStringLiteral("net.ipv6.conf.all.accept_dad=0"),
                                QStringLiteral("net.ipv6.conf.default.accept_dad=0"),
                                QStringLiteral("net.ipv4.icmp_ratelimit=0"),
                                QStringLiteral("net.ipv6.icmp.ratelimit=0")};
        if (node == 0) {
            settings << QStringLiteral("net.ipv4.ping_group_range=0 2147483647");
        } else if (node < kHops) {
            settings << QStringLiteral("net.ipv4.ip_forward=1")
                     << QStringLiteral("net.ipv6.conf.all.forwarding=1");
        }
        if (!IpIn(node, {QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"),
                         QStringLiteral("up")}) ||
            !Ip(QStringList{QStringLiteral("netns"), QStringLiteral("exec"), NamespaceName(node),
                            QStringLiteral("sysctl"), QStringLiteral("-qw")} +
                settings)) {
            return false;
        }
        QString errors;
        if (node > 0 &&
            RunCommandLine(QStringLiteral("ip"),
                           {QStringLiteral("netns"), QStringLiteral("exec"), NamespaceName(node),
                            QStringLiteral("nft"), QStringLiteral("-f"), QStringLiteral("-")},
                           "table inet txchain {\n"
                           "  chain output {\n"
                           "    type filter hook output priority 0; policy accept;\n"
                           "  }\n"
                           "  chain forward {\n"
                           "    type filter hook forward priority 0; policy accept;\n"
                           "  }\n"
                           "}\n",
                           &errors) != 0) {
            problem_ = QStringLiteral("nft refused the router chain's table: ") + errors;
            return false;
        }
    }
    for (int link = 1; link <= kHops; ++link) {
        const int near = link - 1;
        if (!IpIn(near, {QStringLiteral("link"), QStringLiteral("add"), QStringLiteral("name"),
                         kLinkToTarget, QStringLiteral("type"), QStringLiteral("veth"),
                         QStringLiteral("peer"), QStringLiteral("name"), kLinkToHost,
                         QStringLiteral("netns"), NamespaceName(link)})) {
            return false;
        }
        for (const auto &[node, device, end] :
             {std::tuple{near, kLinkToTarget, 1}, std::tuple{link, kLinkToHost, 2}}) {
            if (!IpIn(node,
                      {QStringLiteral("addr"), QStringLiteral("add"),
                       LinkV4(link, end) + QStringLiteral("/24"), QStringLiteral("dev"), device}) ||
                !IpIn(node, {QStringLiteral("addr"), QStringLiteral("add"),
                             LinkV6(link, end) + QStringLiteral("/64"), QStringLiteral("dev"),
                             device, QStringLiteral("nodad")}) ||
                !IpIn(node, {QStringLiteral("link"), QStringLiteral("set"), device,
                             QStringLiteral("up")})) {
                return false;
            }
        }
    }
    // Routes: every node sends the chain's networks that are not on its own links toward the
    // target, except that a router sends those of the links behind it back toward the host.
    // Nothing else has a route, so that what a test starts in the host and that would leave the
    // chain (a name server's query, say) fails at once instead of circling between router 3
    // and the target.
    for (int node = 0; node <= kHops; ++node) {
        const bool last = node == kHops;
        const int next = last ? node : node + 1;
        const int nextEnd = last ? 1 : 2;
        if (!IpIn(node,
                  {QStringLiteral("route"), QStringLiteral("add"), QStringLiteral("10.77.0.0/16"),
                   QStringLiteral("via"), LinkV4(next, nextEnd)}) ||
            !IpIn(node, {QStringLiteral("-6"), QStringLiteral("route"), QStringLiteral("add"),
                         QStringLiteral("fd7a:c4a1::/32"), QStringLiteral("via"),
                         LinkV6(next, nextEnd)})) {
            return false;
        }
        for (int behind = 1; !last && behind < node; ++behind) {
            if (!IpIn(node, {QStringLiteral("route"), QStringLiteral("add"),
                             QStringLiteral("10.77.%1.0/24").arg(behind), QStringLiteral("via"),
                             LinkV4(node, 1)}) ||
                !IpIn(node, {QStringLiteral("-6"), QStringLiteral("route"), QStringLiteral("add"),
                             QStringLiteral("fd7a:c4a1:%1::/64").arg(behind), QStringLiteral("via"),
                             LinkV6(node, 1)})) {
                return false;
            }
        }
    }
    return WaitUntilRouted();
}

bool RouterChain::WaitUntilRouted() {
    // A veth pair passes IPv4 at once, but IPv6 only once the kernel has seen its carrier come
    // up, which it takes up to a second to notice: until every hop answers its probe, a trace
    // would see losses that are no part of the test.
    const std::unique_ptr<TIcmpEchoService> service = OpenService(TIcmpSocketKind::Automatic);
    if (service == nullptr) {
        problem_ = QStringLiteral("no echo service in the router chain's host");
        return false;
    }
    constexpr int kAttempts = 25;
    for (QString (*hopAddress)(int) : {&HopV4, &HopV6}) {
        const std::optional<TEchoTarget> target = ResolveEchoTarget(hopAddress(kHops));
        for (int hop = 1; target && hop <= kHops; ++hop) {
            TProbeRequest probe;
            probe.Target = *target;
            probe.TimeToLive = static_cast<quint16>(hop);
            probe.TimeOutMs = 200;
            int attempt = 0;
            for (; attempt < kAttempts; ++attempt) {
                const TPingReply reply = service->Engine()->Exchange(probe);
                if (reply.ProtocolAddress == hopAddress(hop) && reply.StatusCode &&
                    *reply.StatusCode == (hop == kHops ? 0 : 11013)) {
                    break;
                }
            }
            if (attempt == kAttempts) {
                problem_ = QStringLiteral("hop %1 of the router chain does not answer for %2")
                               .arg(hop)
                               .arg(hopAddress(kHops));
                return false;
            }
        }
    }
    return true;
}

bool RouterChain::RunInside(const std::function<void()> &work) const {
    return RunInsideNamespace(NamespaceName(0), work);
}

std::unique_ptr<TIcmpEchoService> RouterChain::OpenService(TIcmpSocketKind kind) const {
    return OpenServiceInNamespace(NamespaceName(0), kind);
}

bool RouterChain::Nft(int node, const QByteArray &commands) const {
    return NftInNamespace(NamespaceName(node), commands);
}

int RouterChain::Exec(const QString &program, const QStringList &arguments, QByteArray *output,
                      QString *errors) const {
    QProcess process;
    process.start(QStringLiteral("ip"), QStringList{QStringLiteral("netns"), QStringLiteral("exec"),
                                                    NamespaceName(0), program} +
                                            arguments);
    process.closeWriteChannel();
    if (!process.waitForStarted() || !process.waitForFinished(-1)) {
        if (errors != nullptr) {
            *errors = program + QStringLiteral(" cannot be started");
        }
        return -1;
    }
    if (output != nullptr) {
        *output = process.readAllStandardOutput();
    }
    if (errors != nullptr) {
        *errors = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}
