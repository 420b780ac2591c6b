// A watch of 1,000 addresses, every second one silent, one request a second each for a minute, in
// the real main window, against fping watching the same list in the same minute, at equal
// settings (the headline) and, beside it, with fping's default pause of 10 ms between any two
// requests (which makes a round of 1,000 addresses last 10 s, so it does less work):
//   fping -l -q -p 1000 -t 500 -i 0 <the same addresses>
//   fping -l -q -p 1000 -t 500 <the same addresses>
// in the list benchmarks' network namespace (127.1.0.0/16 answers, 127.2.0.0/16 drops echo
// requests).
// Reports the CPU time of each over the minute (the window's process, all its threads and its
// drawing, and of that its main thread's; each fping's from the wait for it), the ratios (goal at
// equal settings: at most 1.5 with the window drawing), the longest the window's event loop was
// held up while the watch went (goal: at most 50 ms), and how long writing the blocks took once
// stopped. Needs root (network namespaces) and fping; skipped otherwise. Runs on the offscreen
// platform unless a display is asked for.
#include <benchmark/benchmark.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>

#include "ListNamespace.h"
#include "app/MainMenuUnit.h"
#include "app/SingleInstances.h"
#include "common/DataPaths.h"

namespace {

using bench::CpuSeconds;
using bench::EnterNamespace;
using bench::LeaveNamespace;
using bench::Problem;

constexpr int kAddresses = 1000;
constexpr int kWatchSeconds = 60;

// The CPU seconds of this process's main thread (the window's) so far.
double MainThreadCpuSeconds() {
    QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(getpid()));
    if (!stat.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray text = stat.readAll();
    // After the name in parentheses: state is field 3, utime 14 and stime 15.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / sysconf(_SC_CLK_TCK);
}

// Runs the event loop for `ms` and returns the longest gap between two ticks of a 20 ms timer
// (finer would cost the window more than what it measures), less the 20 ms: how long the loop was
// kept from its events at worst.
double LongestHoldUpMs(int ms) {
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    qint64 longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    tick.start(20);
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return std::max<qint64>(0, longest - 20000000) / 1e6;
}

void BM_WatchList(benchmark::State &state) {
    const QString fping = QStandardPaths::findExecutable(QStringLiteral("fping"));
    if (!Problem().isEmpty() || fping.isEmpty()) {
        state.SkipWithError(fping.isEmpty() ? "fping is not installed (make bench installs it)"
                                            : Problem().toLocal8Bit().constData());
        return;
    }
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    QDir().mkpath(SystemFolder());
    QFile settings(SettingsFilePath());
    settings.open(QIODevice::WriteOnly);
    settings.write("[PING SYSTEM SETTINGS]\nTime Out=500\nInterval=1000\n");
    settings.close();
    QDir::setCurrent(QStringLiteral(TARVEX_SOURCE_DIR "/resources/images"));
    CreateSingleInstances();
    TMainMenuForm *form = MainMenuForm;
    form->show();
    QApplication::processEvents();
    form->AddressList = bench::Addresses(kAddresses, 2);

    // What the window's thread costs with nothing watched, the hold-up measurement's timer
    // included, over the same minute.
    const double idleBefore = MainThreadCpuSeconds();
    LongestHoldUpMs(10000);
    const double idleWindowCpu = (MainThreadCpuSeconds() - idleBefore) * kWatchSeconds / 10;
    for (auto _ : state) {
        const QStringList watch{QStringLiteral("-l"), QStringLiteral("-q"),
                                QStringLiteral("-p"), QStringLiteral("1000"),
                                QStringLiteral("-t"), QStringLiteral("500")};
        QProcess peer;
        QProcess defaultPeer;
        peer.start(fping, watch + QStringList{QStringLiteral("-i"), QStringLiteral("0")} +
                              form->AddressList);
        defaultPeer.start(fping, watch + form->AddressList);
        if (!peer.waitForStarted() || !defaultPeer.waitForStarted()) {
            state.SkipWithError("fping cannot be started");
            break;
        }
        const double ownBefore = CpuSeconds(RUSAGE_SELF);
        const double windowBefore = MainThreadCpuSeconds();
        const double peerBefore = CpuSeconds(RUSAGE_CHILDREN);
        form->WatchListAction->trigger();
        const double holdUp = LongestHoldUpMs(kWatchSeconds * 1000);
        const double ownCpu = CpuSeconds(RUSAGE_SELF) - ownBefore;
        const double windowCpu = MainThreadCpuSeconds() - windowBefore;
        QElapsedTimer stop;
        stop.start();
        form->WatchListAction->trigger();
        while (form->IsRunning()) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        const double stopMs = stop.nsecsElapsed() / 1e6;
        // Each peer's CPU time is what the children's grew by once it was waited for.
        kill(static_cast<pid_t>(peer.processId()), SIGINT);
        peer.waitForFinished(-1);
        const double peerCpu = CpuSeconds(RUSAGE_CHILDREN) - peerBefore;
        kill(static_cast<pid_t>(defaultPeer.processId()), SIGINT);
        defaultPeer.waitForFinished(-1);
        const double defaultPeerCpu = CpuSeconds(RUSAGE_CHILDREN) - peerBefore - peerCpu;
        state.counters["cpu_s"] = ownCpu;
        state.counters["window_thread_cpu_s"] = windowCpu;
        state.counters["idle_window_thread_cpu_s"] = idleWindowCpu;
        state.counters["fping_cpu_s"] = peerCpu;
        state.counters["cpu_ratio"] = peerCpu > 0 ? ownCpu / peerCpu : 0;
        state.counters["fping_default_cpu_s"] = defaultPeerCpu;
        state.counters["cpu_ratio_fping_default"] =
            defaultPeerCpu > 0 ? ownCpu / defaultPeerCpu : 0;
        state.counters["max_hold_up_ms"] = holdUp;
        state.counters["stop_and_write_ms"] = stopMs;
    }
    DestroySingleInstances();
}
BENCHMARK(BM_WatchList)->Iterations(1)->Repetitions(3)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    EnterNamespace();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    LeaveNamespace();
    return 0;
}
