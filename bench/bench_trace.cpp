// A trace of 10 rounds, 200 ms apart, against mtr on the same route, in the same run:
//   mtr --report -c 10 -i 0.2 -n <target>
// over a chain of network namespaces (host, three routers, target: four hops), IPv4 and IPv6,
// with every router answering, and with router 2 keeping its "time exceeded" to itself. The
// trace's time is the measured one; beside it mtr's time, the ratio, the hops each found, and
// whether both list the same hops with the same loss. The trace should take no longer than
// mtr (which waits its grace time of 5 s after the last round) and find the same hops. Needs
// root (network namespaces) and mtr; skipped otherwise.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>
#include <memory>

#include "common/Errors.h"
#include "ping/TraceRun.h"
#include "support/RouterChain.h"

namespace {

constexpr int kRounds = 10;
constexpr int kInterval = 200;
// The time-out of a fresh settings file; it holds up only the end of a trace with a silent hop,
// as mtr's grace time of 5 s holds up the end of every one of its reports.
const quint16 kTimeOut = TEchoParameters().TimeOut;
// A time-out and a grace time of one second each, to compare the two with the same wait.
constexpr quint16 kShortWait = 1000;

std::unique_ptr<RouterChain> &Chain() {
    static std::unique_ptr<RouterChain> chain;
    return chain;
}

// One hop as a route is compared: the first address that answered ("???" for none) and the
// loss in whole percent.
struct THop {
    QString Address;
    int Loss = 0;
    bool operator==(const THop &other) const {
        return Address == other.Address && Loss == other.Loss;
    }
};

// Our trace to `target` until its rounds are made; the hops it found.
std::vector<THop> Trace(const QString &target, quint16 timeOut) {
    TTraceInput input;
    input.Address = target;
    input.Echo.TimeOut = timeOut;
    input.Interval = kInterval;
    input.Rounds = kRounds;
    input.Connect = []() -> std::unique_ptr<TEchoService> {
        return Chain()->OpenService(TIcmpSocketKind::Automatic);
    };
    // The callbacks come one at a time on the engine thread, and Wait() returns after the last.
    TTraceHops hops;
    TTraceCallbacks callbacks;
    callbacks.RoundStarted = [&hops](int, int ttls) {
        for (int ttl = 1; ttl <= ttls; ++ttl) {
            hops.Sent(ttl);
        }
    };
    callbacks.Probed = [&hops](int, int ttl, const TPingReply &reply) { hops.Add(ttl, reply); };
    // Made inside the host, so that the trace's threads, and the name look-ups of its hops,
    // stay in the chain.
    std::unique_ptr<TTraceRun> run;
    std::exception_ptr failure;
    Chain()->RunInside([&] {
        try {
            run = std::make_unique<TTraceRun>(input, std::move(callbacks));
        } catch (...) {
            failure = std::current_exception();
        }
    });
    if (failure) {
        std::rethrow_exception(failure);
    }
    if (run == nullptr) {
        throw TxError(QStringLiteral("cannot enter the router chain's host"));
    }
    run->Wait();
    std::vector<THop> route;
    for (int ttl = 1; ttl <= hops.Count(); ++ttl) {
        const TTraceHop &hop = hops.Hop(ttl);
        route.push_back({hop.Addresses.isEmpty() ? QStringLiteral("???") : hop.Addresses.first(),
                         static_cast<int>(hop.Figures.LossPercent())});
    }
    return route;
}

// mtr's report of the same trace; the hops it found, none when it failed. `graceMs`: mtr's
// --gracetime, 0 for its default.
std::vector<THop> Mtr(const QString &target, int graceMs) {
    QStringList arguments = {QStringLiteral("--report"),
                             QStringLiteral("-c"),
                             QString::number(kRounds),
                             QStringLiteral("-i"),
                             QString::number(kInterval / 1000.0),
                             QStringLiteral("-n")};
    if (graceMs > 0) {
        arguments << QStringLiteral("-G") << QString::number(graceMs / 1000.0);
    }
    QByteArray output;
    const int status = Chain()->Exec(QStringLiteral("mtr"), arguments << target, &output);
    std::vector<THop> route;
    if (status != 0) {
        return route;
    }
    // "  2.|-- 10.77.2.2                  0.0%    10    0.1   0.1   0.1   0.1   0.0", and for a
    // hop without answer "  2.|-- ???                       100.0    10 ..." (no "%").
    static const QRegularExpression line(QStringLiteral(R"(^\s*\d+\.\|--\s+(\S+)\s+([\d.]+)%?)"));
    for (const QString &text : QString::fromLocal8Bit(output).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = line.match(text);
        if (match.hasMatch()) {
            route.push_back({match.captured(1), qRound(match.captured(2).toDouble())});
        }
    }
    return route;
}

// Arguments: IPv6 (0/1), router 2 silent (0/1), both waiting kShortWait (0: each its default).
void BM_TraceAgainstMtr(benchmark::State &state) {
    const bool ipv6 = state.range(0) != 0;
    const bool silent = state.range(1) != 0;
    const bool shortWait = state.range(2) != 0;
    if (Chain() == nullptr || !Chain()->Problem().isEmpty()) {
        state.SkipWithError(Chain() == nullptr ? "the router chain cannot be set up (needs root)"
                                               : Chain()->Problem().toLocal8Bit().constData());
        return;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("mtr")).isEmpty()) {
        state.SkipWithError("mtr is not installed (make bench installs it)");
        return;
    }
    const QString target = ipv6 ? RouterChain::TargetV6() : RouterChain::TargetV4();
    Chain()->Nft(2, silent ? "add rule inet txchain output icmp type time-exceeded drop\n"
                             "add rule inet txchain output icmpv6 type time-exceeded drop\n"
                           : "flush chain inet txchain output\n");
    double mtrSeconds = 0;
    double ourSeconds = 0;
    std::vector<THop> ours;
    std::vector<THop> theirs;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        try {
            ours = Trace(target, shortWait ? kShortWait : kTimeOut);
        } catch (const TxError &error) {
            state.SkipWithError(error.Message().toLocal8Bit().constData());
            break;
        }
        const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        ourSeconds += seconds;
        clock.restart();
        theirs = Mtr(target, shortWait ? kShortWait : 0);
        mtrSeconds += static_cast<double>(clock.nsecsElapsed()) / 1e9;
        if (theirs.empty()) {
            state.SkipWithError("mtr failed");
            break;
        }
    }
    Chain()->Nft(2, "flush chain inet txchain output\n");
    state.counters["mtr_ms"] = mtrSeconds * 1000 / static_cast<double>(state.iterations());
    state.counters["ratio"] = mtrSeconds > 0 ? ourSeconds / mtrSeconds : 0;
    state.counters["hops"] = static_cast<double>(ours.size());
    state.counters["mtr_hops"] = static_cast<double>(theirs.size());
    bool sameHops = ours.size() == theirs.size();
    for (std::size_t i = 0; sameHops && i < ours.size(); ++i) {
        sameHops = ours[i].Address == theirs[i].Address;
    }
    state.counters["same_hops"] = sameHops ? 1 : 0;
    state.counters["same_loss"] = ours == theirs ? 1 : 0;
}

BENCHMARK(BM_TraceAgainstMtr)
    ->ArgNames({"ipv6", "silent", "wait1s"})
    ->Args({0, 0, 0})
    ->Args({1, 0, 0})
    ->Args({0, 1, 0})
    ->Args({1, 1, 0})
    ->Args({0, 0, 1})
    ->Args({0, 1, 1})
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(false)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    Chain() = std::make_unique<RouterChain>(QStringLiteral("bench"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Chain().reset();
    return 0;
}
