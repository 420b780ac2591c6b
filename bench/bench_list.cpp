// A list run against fping on the same list, in a network namespace made here: every second
// address is silent (nftables drops its echo requests), time-out 300 ms, 4 requests each; and a
// list run of 2,000 addresses of which only every twentieth is silent.
//   fping -q -c 4 -p 300 -t 300 <the same addresses>
// The list run should stay within 1.5 times fping's time; with 2,000 addresses its time grows
// with the number of silent addresses divided by the in-flight limit (128), not with their
// number. Needs root (network namespaces) and fping; skipped otherwise.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTextDocument>
#include <chrono>

#include "ping/ListRun.h"
#include "ping/PingRun.h"

namespace {

QString &Problem() {
    static QString problem;
    return problem;
}

QString NamespaceName() {
    return QStringLiteral("txbench%1").arg(getpid());
}

bool Run(const QString &program, const QStringList &arguments, const QByteArray &input = {}) {
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
// into it: 127.1.0.0/16 answers, 127.2.0.0/16 is silent.
void EnterNamespace() {
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

void LeaveNamespace() {
    Run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("del"), NamespaceName()});
}

// `count` addresses of which every `silentEvery`-th is silent, the others answering.
QStringList Addresses(int count, int silentEvery) {
    QStringList addresses;
    for (int i = 0; i < count; ++i) {
        const int network = i % silentEvery == silentEvery - 1 ? 2 : 1;
        addresses << QStringLiteral("127.%1.%2.%3").arg(network).arg(i / 250).arg(i % 250 + 1);
    }
    return addresses;
}

constexpr quint16 kTimeOut = 300;
constexpr quint16 kRequests = 4;

// The whole list run as the window makes it: requests, and every block written into the panes.
void BM_ListRun(benchmark::State &state) {
    if (!Problem().isEmpty()) {
        state.SkipWithError(Problem().toLocal8Bit().constData());
        return;
    }
    TListRunInput list;
    list.Addresses = Addresses(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    list.Echo.TimeOut = kTimeOut;
    list.Echo.Retries = kRequests;
    for (auto _ : state) {
        QTextDocument debugMemo;
        QTextDocument addressMemo;
        double positionX = 0;
        TPingRunTargets targets;
        targets.DebugMemo = &debugMemo;
        targets.AddressMemo = &addressMemo;
        targets.PositionX = &positionX;
        int lost = 0;
        RunAddressList(list, [&](int index, const TPingRecord &record) {
            TPingRunInput input;
            input.PingAddress = list.Addresses.at(index);
            input.Echo.TimeOut = kTimeOut;
            input.Echo.Retries = kRequests;
            WritePingRecord(input, targets, record);
            for (const std::optional<TPingReply> &reply : record.Replies) {
                lost += reply && reply->StatusCode == std::optional<qint32>(0) ? 0 : 1;
            }
        });
        if (lost != list.Addresses.size() / state.range(1) * kRequests) {
            state.SkipWithError("the silent half did not time out, or the rest did not answer");
        }
    }
    state.counters["silent"] = static_cast<double>(list.Addresses.size() / state.range(1));
}

void BM_Fping(benchmark::State &state) {
    const QString fping = QStandardPaths::findExecutable(QStringLiteral("fping"));
    if (!Problem().isEmpty() || fping.isEmpty()) {
        state.SkipWithError(fping.isEmpty() ? "fping is not installed (make bench installs it)"
                                            : Problem().toLocal8Bit().constData());
        return;
    }
    const QStringList arguments =
        QStringList{QStringLiteral("-q"),     QStringLiteral("-c"),      QString::number(kRequests),
                    QStringLiteral("-p"),     QString::number(kTimeOut), QStringLiteral("-t"),
                    QString::number(kTimeOut)} +
        Addresses(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        QProcess process;
        process.start(fping, arguments);
        process.waitForFinished(-1);
        // fping exits with 1 when some addresses did not answer, as half of them do here.
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() > 1) {
            state.SkipWithError("fping failed");
        }
    }
}

// Arguments: addresses, every how many one is silent.
BENCHMARK(BM_ListRun)->Args({200, 2})->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fping)->Args({200, 2})->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListRun)->Args({2000, 2})->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fping)->Args({2000, 2})->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
// As many addresses, a twentieth of them silent: the time follows the silent ones.
BENCHMARK(BM_ListRun)
    ->Args({2000, 20})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    EnterNamespace();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    LeaveNamespace();
    return 0;
}
