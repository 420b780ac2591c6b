#pragma once

// What the list benchmarks share: a network namespace of their own in which 127.1.0.0/16 answers
// echo requests and 127.2.0.0/16 drops them, the lists of addresses in it, and the CPU time of a
// process. Header only: each benchmark is an executable of its own.
#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace bench {

// Why the namespace cannot be used; empty when it can.
inline QString &Problem() {
    static QString problem;
    return problem;
}

inline QString NamespaceName() {
    return QStringLiteral("txbench%1").arg(getpid());
}

inline bool Run(const QString &program, const QStringList &arguments,
                const QByteArray &input = {}) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted()) {
        return false;
    }
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(-1);
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Makes the namespace and moves this thread (and so every thread and process started from it)
// into it. Sets Problem() when it cannot.
inline void EnterNamespace() {
    const QString name = NamespaceName();
    const QStringList exec = {QStringLiteral("netns"), QStringLiteral("exec"), name};
    const QByteArray rules =
        "table ip txbench {\n"
        "  chain input {\n"
        "    type filter hook input priority 0; policy accept;\n"
        "    ip daddr 127.2.0.0/16 icmp type echo-request drop\n"
        "  }\n"
        "}\n";
    if (!Run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("add"), name}) ||
        !Run(QStringLiteral("ip"),
             {QStringLiteral("-n"), name, QStringLiteral("link"), QStringLiteral("set"),
              QStringLiteral("lo"), QStringLiteral("up")}) ||
        !Run(QStringLiteral("ip"),
             exec + QStringList{QStringLiteral("sysctl"), QStringLiteral("-qw"),
                                QStringLiteral("net.ipv4.ping_group_range=0 2147483647")}) ||
        !Run(QStringLiteral("ip"),
             exec + QStringList{QStringLiteral("nft"), QStringLiteral("-f"), QStringLiteral("-")},
             rules)) {
        Problem() = QStringLiteral("the network namespace cannot be set up (needs root)");
        return;
    }
    const QByteArray path = QStringLiteral("/run/netns/%1").arg(name).toLocal8Bit();
    const int inside = open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (inside < 0 || setns(inside, CLONE_NEWNET) != 0) {
        Problem() = QStringLiteral("cannot enter the network namespace");
    }
    if (inside >= 0) {
        close(inside);
    }
}

inline void LeaveNamespace() {
    Run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("del"), NamespaceName()});
}

// `count` addresses of which every `silentEvery`-th is silent, the others answering.
inline QStringList Addresses(int count, int silentEvery) {
    QStringList addresses;
    for (int i = 0; i < count; ++i) {
        const int network = i % silentEvery == silentEvery - 1 ? 2 : 1;
        addresses << QStringLiteral("127.%1.%2.%3").arg(network).arg(i / 250).arg(i % 250 + 1);
    }
    return addresses;
}

// The CPU time (user and system) of RUSAGE_SELF or RUSAGE_CHILDREN, in seconds.
inline double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace bench
