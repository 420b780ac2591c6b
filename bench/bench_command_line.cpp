// The program without a window against fping, both as a script starts them, in the same run:
//   tarvex --ping -c 4 [-i P -W T] --file LIST     fping -q -c 4 [-p P -t T -i 0] -f LIST
// on the list of the list-run benchmark (200 addresses, every second one silent: nftables drops
// its echo requests), in a network namespace made here. Three settings: each program's defaults
// (Tarvex: a request every 1000 ms whatever earlier ones wait for, the standard settings' 4000 ms
// time-out; fping: a request every 1000 ms, 1000 ms time-out, and 10 ms between any two
// requests), and at equal work: both with one request a second and a second's time-out, and both
// with the list benchmark's 300 ms, fping without its pause between requests. Each run reports its
// wall time (the benchmark's real time), its peak resident memory (GNU time's %M) and its exit
// status; the medians of five runs compare. With the defaults a silent address costs Tarvex three
// intervals and one time-out (7 s), where fping's pace across the list (800 requests, 10 ms apart)
// makes its 8 s and more; Tarvex should take at most fping's time where both wait as long. Needs
// root (network namespaces), fping and the built program; skipped otherwise.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "support/EchoNamespace.h"

extern char **environ;

namespace {

constexpr int kAddresses = 200;
constexpr int kRequests = 4;
const QString kProgram = QStringLiteral(TARVEX_PROGRAM);

std::unique_ptr<EchoNamespace> &Namespace() {
    static std::unique_ptr<EchoNamespace> ns;
    return ns;
}

QTemporaryDir &Folder() {
    static QTemporaryDir folder;
    return folder;
}

QString ListPath() {
    return Folder().filePath(QStringLiteral("list.txt"));
}

// The list of the list-run benchmark: 127.1.x.y answer, 127.2.x.y are silent, alternately.
void WriteList() {
    QByteArray list;
    for (int i = 0; i < kAddresses; ++i) {
        const int network = i % 2 == 1 ? 2 : 1;
        list +=
            QStringLiteral("127.%1.%2.%3\n").arg(network).arg(i / 250).arg(i % 250 + 1).toUtf8();
    }
    QFile file(ListPath());
    if (file.open(QIODevice::WriteOnly)) {
        file.write(list);
    }
}

struct TMeasured {
    int Status = -1;
    double PeakMb = 0;
};

// Starts `arguments` (the program first) with its output thrown away and waits for it, inside
// the namespace. The peak memory comes from GNU time, which starts the program from a process of
// its own: a process started from this one would count this one's memory as well, since the
// high-water mark of resident memory survives exec.
TMeasured RunMeasured(const QStringList &arguments, const QByteArray &home) {
    const QString report = Folder().filePath(QStringLiteral("time.txt"));
    std::vector<QByteArray> bytes = {"/usr/bin/time", "-f", "%M", "-o", report.toLocal8Bit()};
    for (const QString &argument : arguments) {
        bytes.push_back(argument.toLocal8Bit());
    }
    std::vector<char *> argv;
    for (QByteArray &argument : bytes) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    QByteArray homeVariable = "HOME=" + home;
    QByteArray path = "PATH=/usr/bin:/bin";
    QByteArray lang = "LANG=C.UTF-8";
    char *environment[] = {homeVariable.data(), path.data(), lang.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    TMeasured measured;
    pid_t pid = 0;
    Namespace()->RunInside([&] {
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environment) != 0) {
            pid = 0;
        }
    });
    posix_spawn_file_actions_destroy(&actions);
    if (pid == 0) {
        return measured;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        measured.Status = WEXITSTATUS(status);
        QFile file(report);
        if (file.open(QIODevice::ReadOnly)) {
            // The last line: GNU time puts a note about a failing program above it.
            const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
            measured.PeakMb = lines.last().trimmed().toDouble() / 1024.0;  // KiB
        }
    }
    return measured;
}

// Arguments: the setting (0 defaults, 1 a second, 2 300 ms) and the program (0 Tarvex, 1 fping).
void BM_PingList(benchmark::State &state) {
    const QString fping = QStandardPaths::findExecutable(QStringLiteral("fping"));
    if (!Namespace() || !Namespace()->Problem().isEmpty()) {
        state.SkipWithError("the network namespace cannot be set up (needs root)");
        return;
    }
    if (fping.isEmpty() || !QFile::exists(kProgram)) {
        state.SkipWithError("fping (make bench installs it) or the program is missing");
        return;
    }
    const int setting = static_cast<int>(state.range(0));
    const bool ours = state.range(1) == 0;
    const QString period = setting == 1 ? QStringLiteral("1000") : QStringLiteral("300");
    QStringList arguments;
    if (ours) {
        arguments = {kProgram, QStringLiteral("--ping"), QStringLiteral("-c"),
                     QString::number(kRequests)};
        if (setting > 0) {
            // At equal work no rate limit either, as fping's -i 0 has none.
            arguments << QStringLiteral("-i") << period << QStringLiteral("-W") << period
                      << QStringLiteral("--rate") << QStringLiteral("0");
        }
        arguments << QStringLiteral("--file") << ListPath();
    } else {
        arguments = {fping, QStringLiteral("-q"), QStringLiteral("-c"), QString::number(kRequests)};
        if (setting > 0) {
            // At equal work: no pause of fping's own between any two requests (its default 10 ms
            // would pace the list, not the period).
            arguments << QStringLiteral("-p") << period << QStringLiteral("-t") << period
                      << QStringLiteral("-i") << QStringLiteral("0");
        }
        arguments << QStringLiteral("-f") << ListPath();
    }
    const QByteArray home = Folder().path().toLocal8Bit();
    TMeasured measured;
    for (auto _ : state) {
        measured = RunMeasured(arguments, home);
        // Both exit with 1: half of the addresses do not answer.
        if (measured.Status != 1) {
            state.SkipWithError("the run did not end with status 1");
            break;
        }
    }
    state.counters["peak_mb"] = measured.PeakMb;
    state.counters["status"] = measured.Status;
    static const char *const settings[] = {"defaults", "1000 ms", "300 ms"};
    state.SetLabel(QStringLiteral("%1, %2")
                       .arg(ours ? QStringLiteral("tarvex") : QStringLiteral("fping"),
                            QLatin1String(settings[setting]))
                       .toStdString());
}

// fping sends one request every 10 ms across the list: 8 s for 800 requests, whatever the
// setting. Five runs each, for a median.
BENCHMARK(BM_PingList)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (geteuid() == 0) {
        Namespace() = std::make_unique<EchoNamespace>(
            QByteArray("ip daddr 127.2.0.0/16 icmp type echo-request drop\n"),
            QStringLiteral("cli"));
    }
    WriteList();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Namespace().reset();
    return 0;
}
