#include "support/EchoNamespace.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>

#include "common/Errors.h"

int RunCommandLine(const QString &program, const QStringList &arguments, const QByteArray &input,
                   QString *errors) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted()) {
        if (errors != nullptr) {
            *errors = program + QStringLiteral(" cannot be started");
        }
        return -1;
    }
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished();
    if (errors != nullptr) {
        *errors = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QByteArray EchoNamespace::StandardRules() {
    return "ip daddr 127.0.0.2 icmp type echo-request reject with icmp type host-unreachable\n"
           "ip daddr 127.0.0.3 icmp type echo-request drop\n";
}

bool EchoNamespace::AddIpv6Targets() {
    for (const char *address :
         {"fd7a:5ee::1", "fd7a:5ee::2", "fd7a:5ee::3", "fd7a:5ee::4", "fd7a:5ee::10"}) {
        if (!AddLoopbackAddress(QLatin1String(address) + QStringLiteral("/128"))) {
            return false;
        }
    }
    if (!problem_.isEmpty() ||
        !Nft("table ip6 txping6 {\n"
             "  chain input {\n"
             "    type filter hook input priority 0; policy accept;\n"
             "    ip6 daddr fd7a:5ee::2 icmpv6 type echo-request reject with icmpv6 type "
             "addr-unreachable\n"
             "    ip6 daddr fd7a:5ee::3 icmpv6 type echo-request drop\n"
             "    ip6 daddr fd7a:5ee::4 icmpv6 type echo-request ip6 hoplimit != 77 drop\n"
             "  }\n"
             "}\n")) {
        problem_ = problem_.isEmpty() ? QStringLiteral("nft refused the IPv6 rules") : problem_;
        return false;
    }
    return true;
}

EchoNamespace::EchoNamespace(const QByteArray &inputRules, const QString &tag)
    : name_(QStringLiteral("txping%1%2").arg(getpid()).arg(tag)) {
    RunCommandLine(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("del"), name_});
    QString errors;
    if (RunCommandLine(QStringLiteral("ip"),
                       {QStringLiteral("netns"), QStringLiteral("add"), name_}, {}, &errors) != 0) {
        problem_ = QStringLiteral("ip netns add is not permitted here: ") + errors;
        return;
    }
    created_ = true;
    const QByteArray rules =
        "table ip txping {\n"
        "  chain input {\n"
        "    type filter hook input priority 0; policy accept;\n" +
        inputRules +
        "  }\n"
        "}\n";
    const QStringList exec = {QStringLiteral("netns"), QStringLiteral("exec"), name_};
    if (RunCommandLine(QStringLiteral("ip"),
                       {QStringLiteral("-n"), name_, QStringLiteral("link"), QStringLiteral("set"),
                        QStringLiteral("lo"), QStringLiteral("up")},
                       {}, &errors) != 0 ||
        RunCommandLine(QStringLiteral("ip"),
                       exec + QStringList{QStringLiteral("sysctl"), QStringLiteral("-qw"),
                                          QStringLiteral("net.ipv4.ping_group_range=0 2147483647")},
                       {}, &errors) != 0 ||
        RunCommandLine(
            QStringLiteral("ip"),
            exec + QStringList{QStringLiteral("nft"), QStringLiteral("-f"), QStringLiteral("-")},
            rules, &errors) != 0) {
        problem_ = QStringLiteral("the test namespace cannot be set up: ") + errors;
    }
}

EchoNamespace::~EchoNamespace() {
    if (created_) {
        RunCommandLine(QStringLiteral("ip"),
                       {QStringLiteral("netns"), QStringLiteral("del"), name_});
    }
    if (hostsWritten_) {
        QDir(QStringLiteral("/etc/netns/") + name_).removeRecursively();
    }
}

bool EchoNamespace::AddLoopbackAddress(const QString &address) {
    if (!problem_.isEmpty()) {
        return false;
    }
    QString errors;
    if (RunCommandLine(
            QStringLiteral("ip"),
            {QStringLiteral("-n"), name_, QStringLiteral("addr"), QStringLiteral("add"), address,
             QStringLiteral("dev"), QStringLiteral("lo"), QStringLiteral("nodad")},
            {}, &errors) != 0) {
        problem_ = QStringLiteral("cannot put %1 on the test namespace's loopback: %2")
                       .arg(address, errors);
        return false;
    }
    return true;
}

bool EchoNamespace::WriteHosts(const QByteArray &hosts) {
    if (!problem_.isEmpty()) {
        return false;
    }
    const QString folder = QStringLiteral("/etc/netns/") + name_;
    hostsWritten_ = QDir().mkpath(folder);
    QFile file(folder + QStringLiteral("/hosts"));
    if (!hostsWritten_ || !file.open(QIODevice::WriteOnly) || file.write(hosts) != hosts.size() ||
        !file.flush()) {
        problem_ = QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    return true;
}

bool EchoNamespace::Nft(const QByteArray &commands) const {
    return NftInNamespace(name_, commands);
}

bool NftInNamespace(const QString &name, const QByteArray &commands) {
    QString errors;
    if (RunCommandLine(QStringLiteral("ip"),
                       {QStringLiteral("netns"), QStringLiteral("exec"), name,
                        QStringLiteral("nft"), QStringLiteral("-f"), QStringLiteral("-")},
                       commands, &errors) != 0) {
        ADD_FAILURE() << "nft refused " << commands.toStdString() << ": " << errors.toStdString();
        return false;
    }
    return true;
}

bool EchoNamespace::RunInside(const std::function<void()> &work) const {
    return RunInsideNamespace(name_, work);
}

bool RunInsideNamespace(const QString &name, const std::function<void()> &work) {
    const int home = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const QByteArray path = QStringLiteral("/run/netns/%1").arg(name).toLocal8Bit();
    const int inside = open(path.constData(), O_RDONLY | O_CLOEXEC);
    const bool entered = home >= 0 && inside >= 0 && setns(inside, CLONE_NEWNET) == 0;
    if (entered) {
        work();
        EXPECT_EQ(setns(home, CLONE_NEWNET), 0);
    } else {
        ADD_FAILURE() << "cannot enter the namespace";
    }
    for (int fd : {home, inside}) {
        if (fd >= 0) {
            close(fd);
        }
    }
    return entered;
}

std::unique_ptr<TIcmpEchoService> EchoNamespace::OpenService(TIcmpSocketKind kind) const {
    return OpenServiceInNamespace(name_, kind);
}

std::unique_ptr<TIcmpEchoService> OpenServiceInNamespace(const QString &name,
                                                         TIcmpSocketKind kind) {
    std::unique_ptr<TIcmpEchoService> service;
    RunInsideNamespace(name, [&service, kind] {
        try {
            service = std::make_unique<TIcmpEchoService>(kind);
        } catch (const TxError &error) {
            ADD_FAILURE() << error.Message().toStdString();
        }
    });
    return service;
}
