// A list run against fping on the same list, in a network namespace made here: every second
// address is silent (nftables drops its echo requests), time-out 300 ms, 4 requests each:
//   fping -q -c 4 -p 300 -t 300 -i 0 <the same addresses>   (equal settings, the headline)
//   fping -q -c 4 -p 300 -t 300 <the same addresses>        (fping's defaults, beside it)
// for 200, 2,000 and 10,000 addresses, and 2,000 of which only every twentieth is silent. The
// list run goes once over datagram and once over raw ICMP sockets. Beside the wall time each
// reports the process's CPU time (every thread; fping's from the wait for it), the most threads
// seen during the run, the requests to answering addresses that got no reply and the longest
// trip time of a reply. At equal settings the list run should take at most fping's wall time and
// CPU time (1.0x), with a thread count that does not grow with the list, no request to an
// answering address lost, and no loopback trip over 1 ms. Against fping's defaults the wall time
// is far less (fping's grows with the number of requests, one every 10 ms; the list run's follows
// the time-out), which says only that fping is polite by default. Needs root (network
// namespaces) and fping; skipped otherwise.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTextDocument>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "ListNamespace.h"
#include "ping/ListRun.h"
#include "ping/PingRun.h"
#include "support/RunDrivers.h"

namespace {

using bench::Addresses;
using bench::CpuSeconds;
using bench::EnterNamespace;
using bench::LeaveNamespace;
using bench::Problem;

constexpr quint16 kTimeOut = 300;
constexpr quint16 kRequests = 4;

// The threads of a process ("Threads:" of its status), 0 once it is gone.
int ThreadsOf(const QString &status) {
    QFile file(status);
    if (!file.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("Threads:")) {
            return line.mid(8).trimmed().toInt();
        }
    }
    return 0;
}

// Samples the thread count of a process every millisecond on a thread of its own, and keeps the
// most seen. Sampling this process, it leaves itself out of the count and of the CPU time.
class ThreadSampler final {
  public:
    explicit ThreadSampler(qint64 pid = 0)
        : status_(pid == 0 ? QStringLiteral("/proc/self/status")
                           : QStringLiteral("/proc/%1/status").arg(pid)),
          own_(pid == 0 ? 1 : 0),
          thread_([this] { Sample(); }) {}
    ~ThreadSampler() { Stop(); }
    ThreadSampler(const ThreadSampler &) = delete;
    ThreadSampler &operator=(const ThreadSampler &) = delete;

    void Stop() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    int Most() const { return most_; }
    // The CPU time the sampling took, to be taken off this process's.
    double CpuSeconds() const { return cpu_; }

  private:
    void Sample() {
        while (!stop_) {
            most_ = std::max(most_.load(), ThreadsOf(status_) - own_);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        timespec used{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
        cpu_ = static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
    }

    const QString status_;
    const int own_;
    std::atomic<bool> stop_{false};
    std::atomic<int> most_{0};
    double cpu_ = 0;
    std::thread thread_;
};

// Counters that Google Benchmark shows per iteration: CPU in milliseconds, lost requests.
void SetPerIteration(benchmark::State &state, const char *name, double total) {
    state.counters[name] = benchmark::Counter(total, benchmark::Counter::kAvgIterations);
}

TIcmpSocketKind KindOf(benchmark::State &state) {
    return state.range(2) == 0 ? TIcmpSocketKind::Datagram : TIcmpSocketKind::Raw;
}

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
    const TIcmpSocketKind kind = KindOf(state);
    list.Connect = [kind] { return std::make_unique<TIcmpEchoService>(kind); };
    double cpu = 0;
    int threads = 0;
    int lost = 0;
    quint32 longestTrip = 0;
    for (auto _ : state) {
        QTextDocument debugMemo;
        QTextDocument addressMemo;
        double positionX = 0;
        TPingRunTargets targets;
        targets.DebugMemo = &debugMemo;
        targets.AddressMemo = &addressMemo;
        targets.PositionX = &positionX;
        bool silentAnswered = false;
        ThreadSampler sampler;
        const double cpuBefore = CpuSeconds(RUSAGE_SELF);
        RunAddressList(list, [&](int index, const TPingRecord &record) {
            TPingRunInput input;
            input.PingAddress = list.Addresses.at(index);
            input.Echo.TimeOut = kTimeOut;
            input.Echo.Retries = kRequests;
            WritePingRecord(input, targets, record);
            const bool silent = input.PingAddress.startsWith(QLatin1String("127.2."));
            for (const std::optional<TPingReply> &reply : record.Replies) {
                const bool answered = reply && reply->StatusCode == std::optional<qint32>(0);
                silentAnswered = silentAnswered || (silent && answered);
                lost += !silent && !answered ? 1 : 0;
                if (answered) {
                    longestTrip = std::max(longestTrip, reply->TripMicroseconds);
                }
            }
        });
        sampler.Stop();
        cpu += CpuSeconds(RUSAGE_SELF) - cpuBefore - sampler.CpuSeconds();
        threads = std::max(threads, sampler.Most());
        if (silentAnswered) {
            state.SkipWithError("a silent address answered");
        }
    }
    SetPerIteration(state, "cpu_ms", cpu * 1000);
    SetPerIteration(state, "lost", lost);
    state.counters["threads"] = threads;
    state.counters["max_trip_us"] = longestTrip;
    state.counters["silent"] = static_cast<double>(list.Addresses.size() / state.range(1));
    state.SetLabel(kind == TIcmpSocketKind::Datagram ? "datagram" : "raw");
}

void BM_Fping(benchmark::State &state) {
    const QString fping = QStandardPaths::findExecutable(QStringLiteral("fping"));
    if (!Problem().isEmpty() || fping.isEmpty()) {
        state.SkipWithError(fping.isEmpty() ? "fping is not installed (make bench installs it)"
                                            : Problem().toLocal8Bit().constData());
        return;
    }
    QStringList arguments =
        QStringList{QStringLiteral("-q"),     QStringLiteral("-c"),      QString::number(kRequests),
                    QStringLiteral("-p"),     QString::number(kTimeOut), QStringLiteral("-t"),
                    QString::number(kTimeOut)};
    // At equal settings fping sends as the list run does, without its own pause of 10 ms between
    // any two requests; its defaults are measured beside that, for what a user gets by default.
    const bool equal = state.range(2) == 0;
    if (equal) {
        arguments << QStringLiteral("-i") << QStringLiteral("0");
    }
    arguments << Addresses(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    double cpu = 0;
    int threads = 0;
    for (auto _ : state) {
        const double cpuBefore = CpuSeconds(RUSAGE_CHILDREN);
        QProcess process;
        process.start(fping, arguments);
        if (!process.waitForStarted()) {
            state.SkipWithError("fping cannot be started");
            break;
        }
        ThreadSampler sampler(process.processId());
        process.waitForFinished(-1);
        sampler.Stop();
        // Counted once fping has been waited for.
        cpu += CpuSeconds(RUSAGE_CHILDREN) - cpuBefore;
        threads = std::max(threads, sampler.Most());
        // fping exits with 1 when some addresses did not answer, as half of them do here.
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() > 1) {
            state.SkipWithError("fping failed");
        }
    }
    SetPerIteration(state, "cpu_ms", cpu * 1000);
    state.counters["threads"] = threads;
    state.SetLabel(equal ? "equal settings (-i 0)" : "fping's defaults (10 ms between requests)");
}

// Arguments: addresses, every how many one is silent, and for the list run the socket kind
// (0 datagram, 1 raw). Repeated where a run is short, for a median.
void ListRuns(benchmark::internal::Benchmark *bench) {
    for (const auto &[count, silentEvery] :
         {std::pair{200, 2}, std::pair{2000, 2}, std::pair{10000, 2}, std::pair{2000, 20}}) {
        for (int kind : {0, 1}) {
            bench->Args({count, silentEvery, kind});
        }
    }
    bench->Iterations(1)->Repetitions(5)->UseRealTime()->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_ListRun)->Apply(ListRuns);
// The comparison that counts: fping at the list run's settings, for each list (third argument 0).
BENCHMARK(BM_Fping)
    ->Args({200, 2, 0})
    ->Args({2000, 2, 0})
    ->Args({10000, 2, 0})
    ->Args({2000, 20, 0})
    ->Iterations(1)
    ->Repetitions(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
// fping's defaults (third argument 1) take 10 ms a request: 8 s for 200 addresses, 80 s for
// 2,000, 400 s for 10,000.
BENCHMARK(BM_Fping)
    ->Args({200, 2, 1})
    ->Iterations(1)
    ->Repetitions(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fping)
    ->Args({2000, 2, 1})
    ->Args({10000, 2, 1})
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
