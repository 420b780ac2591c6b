#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "ping/EchoService.h"

// A network namespace for real echo requests, named after the process (and a tag, so that one
// test may hold several): loopback up, datagram ICMP sockets allowed for every group, and
// nftables rules in its input chain. The standard rules reject echo requests to 127.0.0.2 with
// host-unreachable and drop those to 127.0.0.3. Removed again, with its hosts file, when the
// object goes.
class EchoNamespace final {
  public:
    explicit EchoNamespace(const QByteArray &inputRules = StandardRules(),
                           const QString &tag = QString());
    ~EchoNamespace();
    EchoNamespace(const EchoNamespace &) = delete;
    EchoNamespace &operator=(const EchoNamespace &) = delete;

    static QByteArray StandardRules();

    // IPv6 targets: puts fd7a:5ee::1, ::2, ::3, ::4 and ::10 on the loopback, with rules in a
    // table "ip6 txping6" of their own. Echo requests to fd7a:5ee::2 are rejected with
    // address-unreachable, those to fd7a:5ee::3 are dropped, those to fd7a:5ee::4 are dropped
    // unless their hop limit is 77; fd7a:5ee::1 and fd7a:5ee::10 answer. Sets Problem() and
    // returns false when it cannot.
    bool AddIpv6Targets();

    // Empty when the namespace is ready, else why not.
    QString Problem() const { return problem_; }

    QString Name() const { return name_; }

    // Puts `address` ("fd7a:5ee::1/128") on the namespace's loopback, usable at once (no
    // duplicate address detection). Sets Problem() and returns false when it cannot.
    bool AddLoopbackAddress(const QString &address);

    // Gives the programs that "ip netns exec" starts in the namespace this hosts file
    // (/etc/netns/<name>/hosts). Sets Problem() and returns false when it cannot.
    bool WriteHosts(const QByteArray &hosts);

    // Opens an echo service whose socket lives in the namespace: the socket is made while the
    // calling thread is inside it, and keeps its namespace when the thread goes back. Safe to
    // call from several threads at once. Reports a test failure and returns null when it cannot.
    std::unique_ptr<TIcmpEchoService> OpenService(TIcmpSocketKind kind) const;

    // Runs `work` on the calling thread while the thread is inside the namespace, then brings
    // the thread back: sockets `work` opens live in the namespace for good. Reports a test
    // failure and returns false, without running `work`, when the thread cannot enter it.
    bool RunInside(const std::function<void()> &work) const;

    // Feeds `commands` to nft inside the namespace (the table is "ip txping", its chain
    // "input"), e.g. to drop echo requests from now on; returns false, reporting a test failure,
    // when nft refuses them.
    bool Nft(const QByteArray &commands) const;

  private:
    QString name_;
    QString problem_;
    bool created_ = false;
    bool hostsWritten_ = false;
};

// Runs a command; returns its exit code, and its error output in *errors.
int RunCommandLine(const QString &program, const QStringList &arguments,
                   const QByteArray &input = {}, QString *errors = nullptr);

// What EchoNamespace's RunInside, OpenService and Nft do, for the network namespace `name`.
bool RunInsideNamespace(const QString &name, const std::function<void()> &work);
std::unique_ptr<TIcmpEchoService> OpenServiceInNamespace(const QString &name, TIcmpSocketKind kind);
bool NftInNamespace(const QString &name, const QByteArray &commands);
