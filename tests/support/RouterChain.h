#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "ping/EchoService.h"

// A routed path of four hops made of network namespaces, for traces:
//
//   host -- router 1 -- router 2 -- router 3 -- target
//
// Link k (1 to 4) joins node k-1 and node k (node 0 is the host, node 4 the target) with a veth
// pair: 10.77.k.1/24 and fd7a:c4a1:k::1/64 on the end toward the target, 10.77.k.2/24 and
// fd7a:c4a1:k::2/64 on the end toward the host. So hop i answers from 10.77.i.2 (fd7a:c4a1:i::2):
// a router sends its "time exceeded" out of the link toward the host, from that link's address.
// Only the chain's own networks (10.77.0.0/16, fd7a:c4a1::/32) are routed. The routers forward
// both families, none of the nodes limits the rate of its ICMP errors (the kernel's default of
// one per second would look like loss at any quicker interval), IPv6 addresses are usable at
// once (no duplicate address detection), and the host allows datagram ICMP sockets for every
// group. The chain is ready (Problem() empty) once every hop has answered a probe from the host
// over both families. The namespaces are named after the process and a tag, and all go (with
// their links) when the object goes.
//
// Every router and the target has a table "inet txchain" with the chains "output" and
// "forward" (filter hooks, policy accept) for Nft.
class RouterChain final {
  public:
    static constexpr int kHops = 4;

    explicit RouterChain(const QString &tag = QString());
    ~RouterChain();
    RouterChain(const RouterChain &) = delete;
    RouterChain &operator=(const RouterChain &) = delete;

    // Empty when the chain is ready, else why not.
    QString Problem() const { return problem_; }

    // The name of node `node`'s namespace (0: the host, 4: the target).
    QString NamespaceName(int node) const;

    // The address that answers the probes of hop `hop` (1 to 4): a router's address on its link
    // toward the host, the target's for hop 4.
    static QString HopV4(int hop);
    static QString HopV6(int hop);
    static QString TargetV4() { return HopV4(kHops); }
    static QString TargetV6() { return HopV6(kHops); }

    // Opens an echo service whose sockets live in the host's namespace. Safe to call from
    // several threads at once. Reports a test failure and returns null when it cannot.
    std::unique_ptr<TIcmpEchoService> OpenService(TIcmpSocketKind kind) const;

    // Runs `work` on the calling thread while it is inside the host's namespace (see
    // EchoNamespace::RunInside): threads `work` starts stay there, so a trace made there looks
    // up its hops' names from inside the chain, where they fail at once, rather than asking
    // the machine's name server. Reports a test failure and returns false, without running
    // `work`, when the thread cannot enter the namespace.
    bool RunInside(const std::function<void()> &work) const;

    // Feeds `commands` to nft in node `node` (1 to 3: a router, 4: the target), e.g.
    //   add rule inet txchain output icmp type time-exceeded drop
    // Returns false, reporting a test failure, when nft refuses them.
    bool Nft(int node, const QByteArray &commands) const;

    // Runs `program` in the host's namespace until it ends; returns its exit code (-1 when it
    // cannot be started or crashed), with its output in *output and its error output in *errors.
    int Exec(const QString &program, const QStringList &arguments, QByteArray *output = nullptr,
             QString *errors = nullptr) const;

  private:
    bool Setup();
    // Waits until every hop answers a probe with its TTL, over both families.
    bool WaitUntilRouted();
    bool Ip(const QStringList &arguments);
    bool IpIn(int node, const QStringList &arguments);

    QString base_;
    int created_ = 0;  // namespaces made so far, node 0 first
    QString problem_;
};
