// Cost of one echo request to 127.0.0.1 and to ::1, beside the cost per request of iputils'
// ping on the same machine in the same run:
//   ping -c 1000 -i 0 -q 127.0.0.1
//   ping -6 -c 1000 -i 0 -q ::1
// (the whole run's time / 1000, so its start-up counts a little; the "beyond start-up" figures
// leave it out). Beside the time, the CPU time of a request: ours in the benchmark's own CPU
// column, iputils' in its "cpu" counter (the child's user and system time per request). On a
// loaded machine the CPU time is the steadier figure, as a loopback request does all its work on
// the calling thread.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>

#include "common/BlockingCall.h"
#include "common/Errors.h"
#include "ping/EchoService.h"

namespace {

// ping's default payload, so the figures compare with iputils.
const TEchoQuery kQuery{QStringLiteral("127.0.0.1"), {56, 1000}};
const TEchoQuery kQuery6{QStringLiteral("::1"), {56, 1000}};

std::unique_ptr<TIcmpEchoService> Open(benchmark::State &state, TIcmpSocketKind kind) {
    try {
        return std::make_unique<TIcmpEchoService>(kind);
    } catch (const TxError &error) {
        state.SkipWithError(error.what());
        return nullptr;
    }
}

void Check(benchmark::State &state, const std::optional<TPingReply> &reply) {
    if (!reply || reply->StatusCode != std::optional<qint32>(0)) {
        state.SkipWithError("loopback did not answer");
    }
}

void EchoLoopback(benchmark::State &state, const TEchoQuery &query) {
    const auto service = Open(state, TIcmpSocketKind::Automatic);
    if (!service) {
        return;
    }
    for (auto _ : state) {
        const std::optional<TPingReply> reply = service->ExecQuery(query);
        Check(state, reply);
        benchmark::DoNotOptimize(reply);
    }
    state.SetItemsProcessed(state.iterations());
    const TIcmpSocketKind kind = &query == &kQuery6 ? service->Ipv6Kind() : service->Kind();
    state.SetLabel(kind == TIcmpSocketKind::Raw ? "raw socket" : "datagram socket");
}

void BM_EchoLoopback(benchmark::State &state) {
    EchoLoopback(state, kQuery);
}
BENCHMARK(BM_EchoLoopback)->UseRealTime();

void BM_EchoLoopbackIpv6(benchmark::State &state) {
    EchoLoopback(state, kQuery6);
}
BENCHMARK(BM_EchoLoopbackIpv6)->UseRealTime();

// User and system time of the children that have ended, in seconds.
double ChildCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// One run of iputils' ping of `requests` requests back to back: its wall time and the CPU time
// it took, in seconds; no value when it could not run or failed.
struct TPingRunCost {
    double Wall = 0;
    double Cpu = 0;
};

std::optional<TPingRunCost> RunIputilsPing(const QString &ping, const QStringList &arguments,
                                           int requests) {
    const double before = ChildCpuSeconds();
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(ping, arguments + QStringList{QStringLiteral("-c"), QString::number(requests),
                                                QStringLiteral("-i"), QStringLiteral("0"),
                                                QStringLiteral("-q")});
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        return std::nullopt;
    }
    return TPingRunCost{static_cast<double>(timer.nsecsElapsed()) / 1e9,
                        ChildCpuSeconds() - before};
}

// iputils' ping making 1000 requests back to back; each iteration counts as one request at the
// run's time / 1000. With `beyond start-up`, each iteration is a run of 1,100 requests less a
// run of 100: the cost of a request without the process's start (loading, opening its socket),
// which the whole run's figure spreads over its requests.
void IputilsPing(benchmark::State &state, const QStringList &arguments, bool beyondStartUp) {
    const QString ping = QStandardPaths::findExecutable(QStringLiteral("ping"));
    if (ping.isEmpty()) {
        state.SkipWithError("iputils ping is not installed");
        return;
    }
    constexpr int kRequests = 1000;
    constexpr int kStartUpRequests = 100;
    double cpuSeconds = 0;
    for (auto _ : state) {
        const std::optional<TPingRunCost> run = RunIputilsPing(
            ping, arguments, beyondStartUp ? kStartUpRequests + kRequests : kRequests);
        const std::optional<TPingRunCost> start =
            beyondStartUp ? RunIputilsPing(ping, arguments, kStartUpRequests) : TPingRunCost{};
        if (!run || !start) {
            state.SkipWithError("ping failed");
            return;
        }
        state.SetIterationTime(qMax(0.0, run->Wall - start->Wall) / kRequests);
        cpuSeconds += run->Cpu - start->Cpu;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["cpu"] =
        benchmark::Counter(cpuSeconds / kRequests, benchmark::Counter::kAvgIterations);
    if (beyondStartUp) {
        state.SetLabel("beyond start-up");
    }
}

void BM_IputilsPingLoopback(benchmark::State &state) {
    IputilsPing(state, {QStringLiteral("127.0.0.1")}, false);
}
BENCHMARK(BM_IputilsPingLoopback)->UseManualTime()->Iterations(5);

void BM_IputilsPingLoopbackIpv6(benchmark::State &state) {
    IputilsPing(state, {QStringLiteral("-6"), QStringLiteral("::1")}, false);
}
BENCHMARK(BM_IputilsPingLoopbackIpv6)->UseManualTime()->Iterations(5);

void BM_IputilsPingLoopbackBeyondStartUp(benchmark::State &state) {
    IputilsPing(state, {QStringLiteral("127.0.0.1")}, true);
}
BENCHMARK(BM_IputilsPingLoopbackBeyondStartUp)->UseManualTime()->Iterations(5);

void BM_IputilsPingLoopbackIpv6BeyondStartUp(benchmark::State &state) {
    IputilsPing(state, {QStringLiteral("-6"), QStringLiteral("::1")}, true);
}
BENCHMARK(BM_IputilsPingLoopbackIpv6BeyondStartUp)->UseManualTime()->Iterations(5);

// The parts of a request that are no system call: the typed address made a target, and the
// answering address written as text.
void BM_ResolveEchoTarget(benchmark::State &state, const QString &typed) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(ResolveEchoTarget(typed));
    }
}
BENCHMARK_CAPTURE(BM_ResolveEchoTarget, ipv4, QStringLiteral("127.0.0.1"));
BENCHMARK_CAPTURE(BM_ResolveEchoTarget, ipv6, QStringLiteral("::1"));

void BM_AddressText(benchmark::State &state, const TEchoFamily *family, const QString &address) {
    const std::optional<TEchoTarget> target = ResolveEchoTarget(address);
    for (auto _ : state) {
        benchmark::DoNotOptimize(family->AddressText(target->Raw));
    }
}
BENCHMARK_CAPTURE(BM_AddressText, ipv4, &kEchoIPv4, QStringLiteral("192.0.2.123"));
BENCHMARK_CAPTURE(BM_AddressText, ipv6, &kEchoIPv6, QStringLiteral("2001:db8::1:0:0:1"));

// The same request as a run makes it: on a worker thread while the caller waits in a local
// event loop.
void BM_EchoLoopbackThroughRunBlocking(benchmark::State &state) {
    const auto service = Open(state, TIcmpSocketKind::Automatic);
    if (!service) {
        return;
    }
    for (auto _ : state) {
        const std::optional<TPingReply> reply =
            RunBlocking([&service] { return service->ExecQuery(kQuery); });
        Check(state, reply);
        benchmark::DoNotOptimize(reply);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EchoLoopbackThroughRunBlocking)->UseRealTime();

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
