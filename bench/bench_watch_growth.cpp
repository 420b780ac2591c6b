// Whether a long watch of a list stays flat: the real main window watches a list in the list
// benchmarks' network namespace (127.1.0.0/16 answers, 127.2.0.0/16 drops echo requests; every
// tenth address is silent, its time-out as long as the interval) until the trip-time history of
// every address is full, then goes on watching for a number of spans of equal length and
// reports, after each span, the heap in use (glibc's count of allocated bytes, which a freed
// block leaves at once), the resident memory, and the CPU time per minute of the whole process.
// Goal: once the history is full, heap and CPU time per minute stay flat from span to span
// (heap_growth_mb_per_h near 0, cpu_s_per_min_last near cpu_s_per_min_first).
//
// By default it watches 250 addresses every 100 ms: each address's history then fills by its
// count of points (1,024, after about 103 s) rather than by its age (5 minutes), through the
// same code and with the same refreshes of the window, and three spans of 20 s follow, short
// enough for `make bench`. With --hour it watches 1,000 addresses every second for an hour: the
// history is full after 5 minutes, then six spans of 9 minutes follow. The growth is counted
// from the end of the first span to the end of the last. --addresses=N,
// --interval=MS, --spans=N and --span-seconds=S change one figure (after --hour, if given).
// Needs root (network namespaces); skipped otherwise. Runs on the offscreen platform unless a
// display is asked for.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ListNamespace.h"
#include "app/MainMenuUnit.h"
#include "app/SingleInstances.h"
#include "app/WatchListPanel.h"
#include "common/DataPaths.h"
#include "ping/ListWatch.h"

namespace {

using bench::CpuSeconds;
using bench::EnterNamespace;
using bench::LeaveNamespace;
using bench::Problem;

struct TGrowthRun {
    int Addresses = 250;
    int IntervalMs = 100;
    int Spans = 3;
    int SpanSeconds = 20;
};

TGrowthRun &Run() {
    static TGrowthRun run;
    return run;
}

// Bytes the program holds on the heap right now.
double HeapMegabytes() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

// Resident memory of the process.
double ResidentMegabytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
        }
    }
    return 0;
}

void Watch(qint64 ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void BM_WatchListAfterItsHistoryIsFull(benchmark::State &state) {
    if (!Problem().isEmpty()) {
        state.SkipWithError(Problem().toLocal8Bit().constData());
        return;
    }
    const TGrowthRun &run = Run();
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    QDir().mkpath(SystemFolder());
    QFile settings(SettingsFilePath());
    settings.open(QIODevice::WriteOnly);
    // A silent address's requests follow each other at the interval too, so that its history
    // fills as soon as an answering one's.
    settings.write(QStringLiteral("[PING SYSTEM SETTINGS]\nTime Out=%1\nInterval=%1\n")
                       .arg(run.IntervalMs)
                       .toUtf8());
    settings.close();
    QDir::setCurrent(QStringLiteral(TARVEX_SOURCE_DIR "/resources/images"));
    CreateSingleInstances();
    TMainMenuForm *form = MainMenuForm;
    form->show();
    QApplication::processEvents();
    form->AddressList = bench::Addresses(run.Addresses, 10);

    // A history holds kWatchHistoryPoints outcomes, none older than kWatchHistoryMs: it is full
    // once its address has made more requests than that, or once the watch is older than that
    // (and a time-out more, for the latest request's outcome). A busy machine sends less often
    // than the interval asks, so the requests are counted rather than the time foreseen.
    TWatchListModel *table = form->WatchListPanel->Model();
    const auto full = [&](qint64 watched) {
        if (watched > kWatchHistoryMs + run.IntervalMs + 1000) {
            return true;
        }
        for (int row = 0; row < table->rowCount(); ++row) {
            if (table->index(row, TWatchListModel::Sent).data().toInt() <=
                kWatchHistoryPoints + 1) {
                return false;
            }
        }
        return true;
    };
    for (auto _ : state) {
        QElapsedTimer watching;
        watching.start();
        form->WatchListAction->trigger();
        while (!full(watching.elapsed())) {
            Watch(1000);
        }
        // Every address has had its oldest outcomes dropped for a little while.
        Watch(5000);
        state.counters["history_full_s"] = watching.elapsed() / 1000.0;
        std::vector<double> heap{HeapMegabytes()};
        std::vector<double> resident{ResidentMegabytes()};
        std::vector<double> cpuPerMinute;
        for (int span = 0; span < run.Spans; ++span) {
            const double cpuBefore = CpuSeconds(RUSAGE_SELF);
            Watch(qint64(run.SpanSeconds) * 1000);
            cpuPerMinute.push_back((CpuSeconds(RUSAGE_SELF) - cpuBefore) * 60 / run.SpanSeconds);
            heap.push_back(HeapMegabytes());
            resident.push_back(ResidentMegabytes());
            std::fprintf(stderr,
                         "  span %d: heap %.1f MB (%+.2f), resident %.1f MB (%+.2f), CPU %.2f s "
                         "a minute\n",
                         span + 1, heap.back(), heap.back() - heap.at(heap.size() - 2),
                         resident.back(), resident.back() - resident.at(resident.size() - 2),
                         cpuPerMinute.back());
        }
        form->WatchListAction->trigger();
        while (form->IsRunning()) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        // From the end of the first span, which lets the allocator settle, to the end of the
        // last.
        const std::size_t from = run.Spans > 1 ? 1 : 0;
        const double hours = (run.Spans - static_cast<int>(from)) * run.SpanSeconds / 3600.0;
        state.counters["heap_full_mb"] = heap.front();
        state.counters["heap_growth_mb_per_h"] = (heap.back() - heap.at(from)) / hours;
        state.counters["resident_full_mb"] = resident.front();
        state.counters["resident_growth_mb_per_h"] = (resident.back() - resident.at(from)) / hours;
        state.counters["cpu_s_per_min_first"] = cpuPerMinute.front();
        state.counters["cpu_s_per_min_last"] = cpuPerMinute.back();
    }
    DestroySingleInstances();
}
BENCHMARK(BM_WatchListAfterItsHistoryIsFull)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

// Takes this benchmark's own options out of the arguments, leaving Google Benchmark's.
void TakeOptions(int &argc, char **argv) {
    TGrowthRun &run = Run();
    // The hour first, so that the other options change it wherever they stand.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--hour") == 0) {
            run = TGrowthRun{1000, 1000, 6, 9 * 60};
        }
    }
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const auto value = [&argument](const char *name) {
            return std::stoi(argument.substr(std::strlen(name)));
        };
        if (argument == "--hour") {
            continue;
        } else if (argument.rfind("--addresses=", 0) == 0) {
            run.Addresses = value("--addresses=");
        } else if (argument.rfind("--interval=", 0) == 0) {
            run.IntervalMs = value("--interval=");
        } else if (argument.rfind("--spans=", 0) == 0) {
            run.Spans = std::max(1, value("--spans="));
        } else if (argument.rfind("--span-seconds=", 0) == 0) {
            run.SpanSeconds = std::max(1, value("--span-seconds="));
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
}

}  // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    TakeOptions(argc, argv);
    QApplication app(argc, argv);
    EnterNamespace();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    LeaveNamespace();
    return 0;
}
