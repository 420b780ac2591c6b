// The probe engine: an answer reaches the probe it answers and no other, whatever else arrives
// on the engine's sockets, and a thousand probes in flight at once, each with its own TTL, get
// one outcome each. Real sockets in network namespaces the tests make: where exact packets are
// needed, the namespace's own stack ignores echo requests and a responder's raw sockets read the
// engine's requests and answer them with packets made to measure.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <linux/icmp.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <optional>
#include <vector>

#include "common/Errors.h"
#include "ping/EchoFamily.h"
#include "ping/ProbeEngine.h"
#include "support/EchoNamespace.h"
#include "support/TestSupport.h"

namespace {

constexpr qint32 kNetUnreachable = 11002;
constexpr qint32 kHostUnreachable = 11003;
constexpr qint32 kTimedOut = 11010;
constexpr qint32 kTtlExpiredTransit = 11013;

// The router address the responder's ICMP errors come from.
const char kRouter[] = "127.0.0.9";

const char *KindName(TIcmpSocketKind kind) {
    return kind == TIcmpSocketKind::Datagram ? "datagram sockets" : "raw sockets";
}

QByteArray AddressBytes(const QString &text) {
    const std::optional<TEchoTarget> target = ResolveEchoTarget(text);
    return target ? target->Raw : QByteArray();
}

quint16 Read16(const unsigned char *bytes) {
    return static_cast<quint16>(bytes[0] << 8 | bytes[1]);
}

void Write16(char *bytes, quint16 value) {
    bytes[0] = static_cast<char>(value >> 8);
    bytes[1] = static_cast<char>(value & 0xFF);
}

// The outcomes of a set of probes, as the engine's loop thread hands them over; every outcome
// is kept, so that a second one for the same probe shows.
class Outcomes final {
  public:
    explicit Outcomes(std::size_t probes) : replies_(probes) {}

    TProbeEngine::TProbeDone For(std::size_t probe) {
        return [this, probe](const TPingReply &reply) {
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                replies_[probe].push_back(reply);
            }
            arrived_.notify_all();
        };
    }

    // Waits until `probe` (every probe when none is named) has an outcome, at most `ms`.
    bool Wait(int ms, std::optional<std::size_t> probe = std::nullopt) {
        std::unique_lock<std::mutex> lock(mutex_);
        return arrived_.wait_for(lock, std::chrono::milliseconds(ms), [this, probe] {
            if (probe) {
                return !replies_[*probe].empty();
            }
            for (const std::vector<TPingReply> &replies : replies_) {
                if (replies.empty()) {
                    return false;
                }
            }
            return true;
        });
    }

    std::vector<std::vector<TPingReply>> Taken() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return replies_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::vector<TPingReply>> replies_;
};

// Returns once the engine has read every message that was queued on its sockets before the
// call. A posted task runs before the sockets are read in the loop's pass; two passes may go
// by before one that saw the sockets ready, so the third task comes after the reading.
void Settle(TProbeEngine &engine) {
    std::promise<void> settled;
    engine.Post([&engine, &settled] {
        engine.Post([&engine, &settled] { engine.Post([&settled] { settled.set_value(); }); });
    });
    settled.get_future().wait();
}

std::unique_ptr<TProbeEngine> OpenEngine(const EchoNamespace &ns, TIcmpSocketKind kind) {
    std::unique_ptr<TProbeEngine> engine;
    ns.RunInside([&engine, kind] {
        try {
            engine = std::make_unique<TProbeEngine>(kind);
        } catch (const TxError &error) {
            ADD_FAILURE() << error.Message().toStdString();
        }
    });
    if (engine) {
        engine->Start();
    }
    return engine;
}

// Raw sockets inside the namespace that read the echo requests sent there (the namespace's own
// stack ignores them) and send answers made to measure.
class Responder final {
  public:
    // One echo request as it went on the wire: a datagram socket's requests carry the
    // identifier the kernel gave that socket.
    struct TRequest {
        const TEchoFamily *Family = nullptr;
        quint16 Identifier = 0;
        quint16 Sequence = 0;
        QByteArray Source;
        QByteArray Payload;
    };

    explicit Responder(const EchoNamespace &ns) {
        ns.RunInside([this] {
            ipv4_ = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
            ipv6_ = socket(AF_INET6, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMPV6);
        });
        // Only echo requests are read, or the answers sent here would come back.
        icmp_filter filter{~(1u << ICMP_ECHO)};
        icmp6_filter filter6{};
        ICMP6_FILTER_SETBLOCKALL(&filter6);
        ICMP6_FILTER_SETPASS(ICMP6_ECHO_REQUEST, &filter6);
        if (ipv4_ < 0 || ipv6_ < 0 ||
            setsockopt(ipv4_, SOL_RAW, ICMP_FILTER, &filter, sizeof filter) != 0 ||
            setsockopt(ipv6_, IPPROTO_ICMPV6, ICMP6_FILTER, &filter6, sizeof filter6) != 0) {
            ADD_FAILURE() << "the responder's raw sockets cannot be opened: " << strerror(errno);
        }
    }
    ~Responder() {
        for (int socket : {ipv4_, ipv6_}) {
            if (socket >= 0) {
                close(socket);
            }
        }
    }
    Responder(const Responder &) = delete;
    Responder &operator=(const Responder &) = delete;

    // The next echo request of `family`; none within two seconds fails the test.
    std::optional<TRequest> Next(const TEchoFamily &family) {
        const bool v4 = &family == &kEchoIPv4;
        pollfd waiting{v4 ? ipv4_ : ipv6_, POLLIN, 0};
        if (poll(&waiting, 1, 2000) != 1) {
            ADD_FAILURE() << "no echo request came";
            return std::nullopt;
        }
        unsigned char bytes[2048];
        sockaddr_storage from{};
        socklen_t fromLength = sizeof from;
        const ssize_t size = recvfrom(waiting.fd, bytes, sizeof bytes, 0,
                                      reinterpret_cast<sockaddr *>(&from), &fromLength);
        // A raw IPv4 socket hands over the IP header too; a raw ICMPv6 socket does not.
        const ssize_t header = v4 && size > 0 ? (bytes[0] & 0x0F) * 4 : 0;
        if (size < header + 8) {
            ADD_FAILURE() << "a short echo request";
            return std::nullopt;
        }
        TRequest request;
        request.Family = &family;
        request.Identifier = Read16(bytes + header + 4);
        request.Sequence = Read16(bytes + header + 6);
        request.Source = family.AddressBytes(reinterpret_cast<const sockaddr *>(&from));
        request.Payload = QByteArray(reinterpret_cast<const char *>(bytes + header + 8),
                                     static_cast<int>(size - header - 8));
        return request;
    }

    // An echo reply to `request` with the given identifier and sequence. IPv4 replies come from
    // `from`; IPv6 ones from the address the kernel picks, ::1 on loopback.
    void Reply(const TRequest &request, quint16 identifier, quint16 sequence,
               const QByteArray &from) {
        QByteArray packet(8, '\0');
        packet[0] =
            static_cast<char>(request.Family == &kEchoIPv4 ? ICMP_ECHOREPLY : ICMP6_ECHO_REPLY);
        Write16(packet.data() + 4, identifier);
        Write16(packet.data() + 6, sequence);
        packet += request.Payload;
        Send(request, packet, from);
    }

    // An ICMP destination-unreachable (`code`) from kRouter about an echo request of
    // `identifier` and `sequence` to `quotedDestination`, sent to the source of `request`.
    void Unreachable(const TRequest &request, int code, quint16 identifier, quint16 sequence,
                     const QByteArray &quotedDestination) {
        QByteArray packet(8 + 20 + 8, '\0');
        char *bytes = packet.data();
        bytes[0] = ICMP_DEST_UNREACH;
        bytes[1] = static_cast<char>(code);
        char *quoted = bytes + 8;
        quoted[0] = 0x45;
        Write16(quoted + 2, static_cast<quint16>(20 + 8 + request.Payload.size()));
        quoted[8] = 64;
        quoted[9] = IPPROTO_ICMP;
        memcpy(quoted + 12, request.Source.constData(), 4);
        memcpy(quoted + 16, quotedDestination.constData(), 4);
        quoted[20] = ICMP_ECHO;
        Write16(quoted + 24, identifier);
        Write16(quoted + 26, sequence);
        Send(request, packet, AddressBytes(QLatin1String(kRouter)));
    }

  private:
    void Send(const TRequest &request, QByteArray packet, const QByteArray &from) {
        sockaddr_storage to{};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        msghdr message{};
        int socket = ipv6_;
        if (request.Family == &kEchoIPv4) {
            socket = ipv4_;
            auto *bytes = reinterpret_cast<unsigned char *>(packet.data());
            Write16(packet.data() + 2,
                    IcmpChecksum(bytes, static_cast<std::size_t>(packet.size())));
            auto *v4 = reinterpret_cast<sockaddr_in *>(&to);
            v4->sin_family = AF_INET;
            memcpy(&v4->sin_addr, request.Source.constData(), 4);
            // The sender address of this one packet.
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            cmsghdr *c = CMSG_FIRSTHDR(&message);
            c->cmsg_level = IPPROTO_IP;
            c->cmsg_type = IP_PKTINFO;
            c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
            in_pktinfo info{};
            memcpy(&info.ipi_spec_dst, from.constData(), 4);
            memcpy(CMSG_DATA(c), &info, sizeof info);
        } else {
            // The kernel fills in the ICMPv6 checksum.
            auto *v6 = reinterpret_cast<sockaddr_in6 *>(&to);
            v6->sin6_family = AF_INET6;
            memcpy(&v6->sin6_addr, request.Source.constData(), 16);
        }
        iovec io{packet.data(), static_cast<size_t>(packet.size())};
        message.msg_name = &to;
        message.msg_namelen =
            request.Family == &kEchoIPv4 ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        EXPECT_EQ(sendmsg(socket, &message, 0), packet.size()) << strerror(errno);
    }

    int ipv4_ = -1;
    int ipv6_ = -1;
};

// A namespace whose own stack answers no echo request, so that the responder answers them.
class SilentNamespace final {
  public:
    SilentNamespace() : ns_(QByteArray(), QStringLiteral("m")) {
        for (const char *setting :
             {"net.ipv4.icmp_echo_ignore_all=1", "net.ipv6.icmp.echo_ignore_all=1"}) {
            QString errors;
            if (ns_.Problem().isEmpty() &&
                RunCommandLine(
                    QStringLiteral("ip"),
                    {QStringLiteral("netns"), QStringLiteral("exec"), ns_.Name(),
                     QStringLiteral("sysctl"), QStringLiteral("-qw"), QLatin1String(setting)},
                    {}, &errors) != 0) {
                problem_ = QStringLiteral("cannot set %1: %2").arg(QLatin1String(setting), errors);
            }
        }
    }
    QString Problem() const { return ns_.Problem().isEmpty() ? problem_ : ns_.Problem(); }
    const EchoNamespace &Namespace() const { return ns_; }

  private:
    EchoNamespace ns_;
    QString problem_;
};

// One packet the responder sends, made from the request of probe `Probe`.
struct Forged {
    enum TKind { Reply, HostUnreachable, NetUnreachable };
    TKind Kind;
    int Probe;
    // Added to the identifier of the request.
    int IdentifierOffset = 0;
    // The probe whose request's sequence the packet carries.
    int SequenceOf = 0;
    // A reply's sender, an error's quoted destination; null: the probe's target.
    const char *Address = nullptr;
    // Sent only once the probe has its outcome.
    bool AfterOutcome = false;
};

struct ProbeSpec {
    const char *Target;
    quint32 TimeOutMs;
};

struct MatchCase {
    const char *Name;
    std::vector<ProbeSpec> Probes;
    std::vector<Forged> Sent;
    // The status of each probe's one outcome.
    std::vector<qint32> Statuses;
};

TEST(ProbeEngine, NoAnswerReachesAnotherProbe) {
    SilentNamespace silent;
    if (!silent.Problem().isEmpty()) {
        GTEST_SKIP() << silent.Problem().toStdString();
    }
    const EchoNamespace &ns = silent.Namespace();
    Responder responder(ns);

    const std::vector<MatchCase> cases = {
        {"a reply of another identifier",
         {{"127.0.0.5", 300}, {"127.0.0.6", 300}},
         {{Forged::Reply, 0, 1, 0}, {Forged::Reply, 1, 0, 1}},
         {kTimedOut, 0}},
        // The second probe goes to the same address; only the sequence tells them apart.
        {"a duplicate reply",
         {{"127.0.0.5", 300}, {"127.0.0.5", 300}},
         {{Forged::Reply, 0, 0, 0}, {Forged::Reply, 0, 0, 0}, {Forged::Reply, 0, 0, 0, {}, true}},
         {0, kTimedOut}},
        {"a reply after its probe timed out",
         {{"127.0.0.5", 100}, {"127.0.0.5", 800}},
         {{Forged::Reply, 0, 0, 0, {}, true}},
         {kTimedOut, kTimedOut}},
        {"an error quoting another identifier",
         {{"127.0.0.5", 300}, {"127.0.0.6", 300}},
         {{Forged::HostUnreachable, 0, 1, 0}, {Forged::HostUnreachable, 1, 0, 1}},
         {kTimedOut, kHostUnreachable}},
        // The first two quote one probe's sequence with the other's destination; only the
        // third is about the second probe.
        {"an error quoting another probe",
         {{"127.0.0.5", 300}, {"127.0.0.6", 300}},
         {{Forged::HostUnreachable, 0, 0, 1},
          {Forged::HostUnreachable, 0, 0, 0, "127.0.0.6"},
          {Forged::NetUnreachable, 1, 0, 1}},
         {kTimedOut, kNetUnreachable}},
        // Each family numbers its probes from 1, so the first and second probe share a
        // sequence, as do the third and fourth (and on raw sockets the identifier too).
        {"a reply of the other family",
         {{"127.0.0.5", 300}, {"::1", 300}, {"127.0.0.6", 300}, {"::1", 300}},
         {{Forged::Reply, 0, 0, 0}, {Forged::Reply, 3, 0, 3}},
         {0, kTimedOut, kTimedOut, 0}},
    };

    for (TIcmpSocketKind kind : {TIcmpSocketKind::Datagram, TIcmpSocketKind::Raw}) {
        for (const MatchCase &match : cases) {
            SCOPED_TRACE(std::string(match.Name) + " on " + KindName(kind));
            // A fresh engine each time, so that both families number their probes from 1.
            std::unique_ptr<TProbeEngine> engine = OpenEngine(ns, kind);
            ASSERT_TRUE(engine);
            const std::size_t count = match.Probes.size();
            std::vector<TEchoTarget> targets;
            for (const ProbeSpec &probe : match.Probes) {
                targets.push_back(*ResolveEchoTarget(QLatin1String(probe.Target)));
            }
            Outcomes outcomes(count);
            engine->Post([&] {
                for (std::size_t i = 0; i < count; ++i) {
                    TProbeRequest request;
                    request.Target = targets[i];
                    request.TimeOutMs = match.Probes[i].TimeOutMs;
                    engine->Send(request, outcomes.For(i));
                }
            });
            // Each family's requests come in the order they were sent.
            std::vector<Responder::TRequest> requests;
            for (const TEchoTarget &target : targets) {
                std::optional<Responder::TRequest> request = responder.Next(*target.Family);
                ASSERT_TRUE(request);
                requests.push_back(*request);
            }
            for (const Forged &packet : match.Sent) {
                const Responder::TRequest &request = requests[packet.Probe];
                if (packet.AfterOutcome) {
                    ASSERT_TRUE(outcomes.Wait(3000, packet.Probe));
                }
                const quint16 identifier =
                    static_cast<quint16>(request.Identifier + packet.IdentifierOffset);
                const quint16 sequence = requests[packet.SequenceOf].Sequence;
                const QByteArray address = packet.Address != nullptr
                                               ? AddressBytes(QLatin1String(packet.Address))
                                               : targets[packet.Probe].Raw;
                if (packet.Kind == Forged::Reply) {
                    responder.Reply(request, identifier, sequence, address);
                } else {
                    responder.Unreachable(request,
                                          packet.Kind == Forged::HostUnreachable ? ICMP_HOST_UNREACH
                                                                                 : ICMP_NET_UNREACH,
                                          identifier, sequence, address);
                }
            }
            ASSERT_TRUE(outcomes.Wait(5000));
            Settle(*engine);
            const std::vector<std::vector<TPingReply>> taken = outcomes.Taken();
            for (std::size_t i = 0; i < count; ++i) {
                ASSERT_EQ(taken[i].size(), 1u) << "probe " << i;
                const TPingReply &reply = taken[i].front();
                EXPECT_EQ(reply.StatusCode, std::optional<qint32>(match.Statuses[i]))
                    << "probe " << i;
                const bool error = match.Statuses[i] != 0 && match.Statuses[i] != kTimedOut;
                EXPECT_EQ(reply.ProtocolAddress,
                          error ? QLatin1String(kRouter) : QLatin1String(match.Probes[i].Target))
                    << "probe " << i;
            }
        }
    }
}

// Runs `ip` with `arguments`; a refusal is the returned reason.
QString Ip(const QStringList &arguments) {
    QString errors;
    return RunCommandLine(QStringLiteral("ip"), arguments, {}, &errors) == 0
               ? QString()
               : QStringLiteral("ip %1: %2").arg(arguments.join(QLatin1Char(' ')), errors);
}

// The engine's namespace, where 127.1.0.0/16 answers, 127.2.0.0/16 is silent and
// 127.3.0.0/16 answers only requests that left with TTL 77; and beyond a veth link a router
// namespace (10.99.0.2) that forwards to 10.99.1.0/24, so that a request that leaves with TTL 1
// expires there.
class RoutedNamespaces final {
  public:
    RoutedNamespaces()
        : near_(
              "ip daddr 127.2.0.0/16 icmp type echo-request drop\n"
              "ip daddr 127.3.0.0/16 icmp type echo-request ip ttl != 77 drop\n",
              QStringLiteral("n")),
          router_(QByteArray(), QStringLiteral("r")) {
        problem_ = !near_.Problem().isEmpty() ? near_.Problem() : router_.Problem();
        const QString near = near_.Name();
        const QString router = router_.Name();
        const QString exec = QStringLiteral("netns exec %1 sysctl -qw ").arg(router);
        // The router's second link holds 10.99.1.0/24 and leads nowhere: a request that reaches
        // it with TTL 1 expires before any neighbour is asked for.
        const QStringList steps = {
            QStringLiteral("-n %1 link add va type veth peer name vb netns %2").arg(near, router),
            QStringLiteral("-n %1 addr add 10.99.0.1/24 dev va").arg(near),
            QStringLiteral("-n %1 link set va up").arg(near),
            QStringLiteral("-n %1 route add 10.99.1.0/24 via 10.99.0.2").arg(near),
            QStringLiteral("-n %1 addr add 10.99.0.2/24 dev vb").arg(router),
            QStringLiteral("-n %1 link set vb up").arg(router),
            QStringLiteral("-n %1 link add vc type veth peer name vd").arg(router),
            QStringLiteral("-n %1 addr add 10.99.1.254/24 dev vc").arg(router),
            QStringLiteral("-n %1 link set vc up").arg(router),
            QStringLiteral("-n %1 link set vd up").arg(router),
            exec + QStringLiteral("net.ipv4.ip_forward=1"),
            // Every expired request gets its error, not one a second.
            exec + QStringLiteral("net.ipv4.icmp_ratelimit=0"),
        };
        for (const QString &step : steps) {
            if (problem_.isEmpty()) {
                problem_ = Ip(step.split(QLatin1Char(' ')));
            }
        }
    }

    QString Problem() const { return problem_; }
    const EchoNamespace &Near() const { return near_; }

  private:
    EchoNamespace near_;
    EchoNamespace router_;
    QString problem_;
};

TEST(ProbeEngine, AThousandProbesInFlightGetOneOutcomeEach) {
    RoutedNamespaces routed;
    if (!routed.Problem().isEmpty()) {
        GTEST_SKIP() << routed.Problem().toStdString();
    }
    // Every hundredth probe leaves with TTL 1 for the router's far side; of the others a
    // quarter each answer whatever their TTL, are silent, answer because they left with TTL 77,
    // and are silent because they left with TTL 76. The loopback ones cycle through every TTL.
    struct Planned {
        QString Target;
        quint16 Ttl;
        qint32 Status;
        QString From;
    };
    constexpr int kProbes = 1000;
    std::vector<Planned> plan;
    for (int i = 0; i < kProbes; ++i) {
        const QString host = QStringLiteral("%1.%2").arg(i / 250).arg(i % 250 + 1);
        if (i % 100 == 99) {
            const QString far = QStringLiteral("10.99.1.%1").arg(i / 100 + 1);
            plan.push_back({far, 1, kTtlExpiredTransit, QStringLiteral("10.99.0.2")});
            continue;
        }
        switch (i % 4) {
            case 0:
                plan.push_back({QStringLiteral("127.1.") + host, static_cast<quint16>(1 + i % 255),
                                0, QStringLiteral("127.1.") + host});
                break;
            case 1:
                plan.push_back({QStringLiteral("127.2.") + host, static_cast<quint16>(1 + i % 255),
                                kTimedOut, QStringLiteral("127.2.") + host});
                break;
            case 2:
                plan.push_back(
                    {QStringLiteral("127.3.") + host, 77, 0, QStringLiteral("127.3.") + host});
                break;
            default:
                plan.push_back({QStringLiteral("127.3.") + host, 76, kTimedOut,
                                QStringLiteral("127.3.") + host});
        }
    }

    for (TIcmpSocketKind kind : {TIcmpSocketKind::Datagram, TIcmpSocketKind::Raw}) {
        SCOPED_TRACE(KindName(kind));
        const int descriptors = OpenDescriptorCount();
        {
            std::unique_ptr<TProbeEngine> engine = OpenEngine(routed.Near(), kind);
            ASSERT_TRUE(engine);
            Outcomes outcomes(kProbes);
            std::promise<std::size_t> inFlight;
            engine->Post([&] {
                for (int i = 0; i < kProbes; ++i) {
                    TProbeRequest request;
                    request.Target = *ResolveEchoTarget(plan[i].Target);
                    request.TimeToLive = plan[i].Ttl;
                    request.TimeOutMs = 1500;
                    engine->Send(request, outcomes.For(i));
                }
                inFlight.set_value(engine->InFlight());
            });
            EXPECT_EQ(inFlight.get_future().get(), static_cast<std::size_t>(kProbes));
            ASSERT_TRUE(outcomes.Wait(10000));
            Settle(*engine);
            const std::vector<std::vector<TPingReply>> taken = outcomes.Taken();
            for (int i = 0; i < kProbes; ++i) {
                ASSERT_EQ(taken[i].size(), 1u) << plan[i].Target.toStdString();
                EXPECT_EQ(taken[i].front().StatusCode, std::optional<qint32>(plan[i].Status))
                    << plan[i].Target.toStdString() << " TTL " << plan[i].Ttl;
                EXPECT_EQ(taken[i].front().ProtocolAddress, plan[i].From);
            }
            std::promise<std::size_t> left;
            engine->Post([&] { left.set_value(engine->InFlight()); });
            EXPECT_EQ(left.get_future().get(), 0u);
        }
        EXPECT_EQ(OpenDescriptorCount(), descriptors);
    }
}

}  // namespace
