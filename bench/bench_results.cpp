// Cost of writing one run's output into a results pane that is empty and into one that already
// holds 100,000 lines (and a few sizes between, to show how it grows).
//
// BM_WriteRunOutput: the fifteen lines of a four-request run plus its address line, written
//   one by one with WriteReport into the pane's document (undo on, as in a pane).
// BM_StandardPingRun/<lines>/<laid out>: a whole four-request run (an echo service that answers
//   at once, each request on a worker thread, each outcome through the run model's session)
//   writing into the pane; with "laid out" = 1 the pane's layout is kept complete after every
//   line, as a visible pane that scrolls to its end needs it.
// BM_StandardPingRunInTextEdit/<lines>: the same run into a shown QTextEdit without word wrap
//   (offscreen), scrolled to its end after each change, painting while each request waits.
// BM_WatchRequestInTextEdit/<lines>/<scroll bars>: one request of a watched address (its reply
//   line, the scroll to the end, the paint, its live figures) into a pane shown as the main
//   window shows it, with its scroll bars hidden (as at start) or shown.
// BM_WatchDayMemory: the memory a day's watch at 300 ms adds (counters MB, bytes_per_request,
//   and the undo steps the pane holds afterwards).
// Each iteration removes what it added, untimed, so the pane keeps its size. Times are CPU time
// of the writing thread: the machine is shared, and wall time would count other processes.
#include <benchmark/benchmark.h>

#include <time.h>
#include <unistd.h>
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <cstdio>
#include <deque>

#include "common/TX_Edit.h"
#include "ping/EchoService.h"
#include "ping/PingFigures.h"
#include "ping/PingRun.h"
#include "support/RunDrivers.h"

namespace {

// The lines of a four-request run, as StandardPing writes them.
const QStringList kRunLines = {
    QStringLiteral("Date: 09.12.2018\tTime: 14:03:07.051 ms"),
    QStringLiteral("Pinging alpha with 32 bytes of data:"),
    QString(),
    QStringLiteral("Reply from 10.0.0.1;  Bytes=32  Time=21 ms  TTL=57"),
    QStringLiteral("Reply from 10.0.0.1;  Bytes=32  Time=20 ms  TTL=57"),
    QStringLiteral("Reply from 10.0.0.1;  Bytes=32  Time=23 ms  TTL=57"),
    QStringLiteral("Reply from 10.0.0.1:  Bytes=32  Time=<1 ms  TTL=57"),
    QString(),
    QStringLiteral("Ping statistics for alpha; IPv4 - 10.0.0.1"),
    QStringLiteral("Packets: Sent = 4, Received = 4, Lost = 0 [ 0% loss ]"),
    QString(),
    QStringLiteral("Approximate round trip times in milli-seconds:"),
    QStringLiteral("Minimum = 0 ms, Maximum = 23 ms, Average = 16 ms"),
    QString(),
    QString(),
};

double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Fills the pane with `lines` lines of earlier runs.
void Fill(QTextDocument &pane, int lines) {
    const TResultTarget target{&pane, QColor(128, 128, 128)};
    const TResultBatch batch(&pane);  // one layout for all, however the pane is shown
    for (int i = 0; i < lines; ++i) {
        WriteReport(target, kRunLines[i % kRunLines.size()]);
    }
}

// Removes everything after the first `characters` characters of the pane.
void Truncate(QTextDocument &pane, int characters) {
    QTextCursor cursor(&pane);
    cursor.setPosition(characters - 1);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void BM_WriteRunOutput(benchmark::State &state) {
    QTextDocument pane;
    Fill(pane, static_cast<int>(state.range(0)));
    QTextDocument addresses;
    for (auto _ : state) {
        const int before = pane.characterCount();
        const double start = ThreadSeconds();
        for (const QString &line : kRunLines) {
            WriteReport(TResultTarget{&pane, QColor(0, 200, 0)}, line);
        }
        WriteReport(TResultTarget{&addresses, QColor(0, 200, 0)},
                    QStringLiteral("IPv4 - 10.0.0.1\t\tAddress - alpha"));
        state.SetIterationTime(ThreadSeconds() - start);
        Truncate(pane, before);
        addresses.clear();
    }
    state.SetItemsProcessed(state.iterations() * (kRunLines.size() + 1));
}

BENCHMARK(BM_WriteRunOutput)
    ->Arg(0)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(300000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// Answers every request at once with a reply of 21 ms.
class InstantEcho final : public TEchoService {
  public:
    std::optional<TPingReply> ExecQuery(const TEchoQuery &) override {
        TPingReply reply;
        reply.StatusCode = 0;
        reply.ResponseTime = 21;
        reply.ProtocolAddress = QStringLiteral("10.0.0.1");
        reply.ReplySize = 32;
        reply.TimeToLive = 57;
        return reply;
    }
};

void BM_StandardPingRun(benchmark::State &state) {
    QTextDocument pane;
    Fill(pane, static_cast<int>(state.range(0)));
    QTextDocument addresses;
    double positionX = 0;
    TPingRunInput input;
    input.PingAddress = QStringLiteral("alpha");
    TPingRunTargets targets;
    targets.DebugMemo = &pane;
    targets.AddressMemo = &addresses;
    targets.PositionX = &positionX;
    targets.Connect = [] { return std::make_unique<InstantEcho>(); };
    const bool layOut = state.range(1) != 0;
    if (layOut) {
        // What a pane's view asks for on every scroll to the end.
        SetResultScroller([](QTextDocument *document) {
            benchmark::DoNotOptimize(document->documentLayout()->documentSize());
        });
        pane.documentLayout()->documentSize();
    }
    for (auto _ : state) {
        const int before = pane.characterCount();
        const double start = ThreadSeconds();
        StandardPing(input, targets);
        state.SetIterationTime(ThreadSeconds() - start);
        Truncate(pane, before);
        addresses.clear();
    }
    SetResultScroller({});
}
BENCHMARK(BM_StandardPingRun)
    ->Args({0, 0})
    ->Args({100000, 0})
    ->Args({0, 1})
    ->Args({100000, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

void BM_StandardPingRunInTextEdit(benchmark::State &state) {
    QTextEdit debugMemo;
    QTextEdit addressMemo;
    for (QTextEdit *pane : {&debugMemo, &addressMemo}) {
        pane->setLineWrapMode(QTextEdit::NoWrap);
        pane->resize(550, 200);
        pane->show();
    }
    Fill(*debugMemo.document(), static_cast<int>(state.range(0)));
    SetResultScroller([&](QTextDocument *document) {
        QTextEdit *pane = document == debugMemo.document() ? &debugMemo : &addressMemo;
        pane->verticalScrollBar()->setValue(pane->verticalScrollBar()->maximum());
    });
    QCoreApplication::processEvents();

    double positionX = 0;
    TPingRunInput input;
    input.PingAddress = QStringLiteral("alpha");
    TPingRunTargets targets;
    targets.DebugMemo = debugMemo.document();
    targets.AddressMemo = addressMemo.document();
    targets.PositionX = &positionX;
    targets.Connect = [] { return std::make_unique<InstantEcho>(); };
    for (auto _ : state) {
        const int before = debugMemo.document()->characterCount();
        const double start = ThreadSeconds();
        StandardPing(input, targets);
        QCoreApplication::processEvents();  // the last paint
        state.SetIterationTime(ThreadSeconds() - start);
        Truncate(*debugMemo.document(), before);
        addressMemo.clear();
        QCoreApplication::processEvents();
    }
    SetResultScroller({});
}
BENCHMARK(BM_StandardPingRunInTextEdit)
    ->Arg(0)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// A pane as the main window shows it: no frame, no word wrap, scroll bars hidden unless asked
// for, scrolled to its end after each line.
struct ShownPanes {
    explicit ShownPanes(bool scrollBars = false) {
        const Qt::ScrollBarPolicy policy =
            scrollBars ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
        for (QTextEdit *pane : {&debugMemo, &addressMemo}) {
            pane->setFrameShape(QFrame::NoFrame);
            pane->setLineWrapMode(QTextEdit::NoWrap);
            pane->setHorizontalScrollBarPolicy(policy);
            pane->setVerticalScrollBarPolicy(policy);
            pane->resize(550, 200);
            pane->show();
        }
        SetResultScroller([this](QTextDocument *document) {
            QTextEdit *pane = document == debugMemo.document() ? &debugMemo : &addressMemo;
            pane->verticalScrollBar()->setValue(pane->verticalScrollBar()->maximum());
        });
        targets.DebugMemo = debugMemo.document();
        targets.AddressMemo = addressMemo.document();
        targets.PositionX = &positionX;
        input.PingAddress = QStringLiteral("alpha");
    }
    ~ShownPanes() { SetResultScroller({}); }

    QTextEdit debugMemo;
    QTextEdit addressMemo;
    double positionX = 0;
    TPingRunInput input;
    TPingRunTargets targets;
};

TPingReply InstantReply() {
    return InstantEcho().ExecQuery(TEchoQuery{}).value();
}

// BM_WatchRequestInTextEdit/<lines>/<scroll bars>: what one request of a watched address costs
// the window: its reply line into a shown results pane of <lines> lines (layout, scroll to the
// end, paint) and its live figures text. A watch of hours appends to an ever longer pane, so the
// cost of a line must not grow with it.
//
// Where it is measured: an empty pane (the first lines of a watch: nothing scrolls, and the
// paint is one line), a pane just past its first screen (from there on every line scrolls the
// view and repaints its bottom lines), and panes of 1,000 and 100,000 lines. Past the first
// screen the cost stays the same whatever the length: the text layout goes back at most to its
// last checkpoint (one every 2,000 pixels of height) and the paint covers only the bottom of
// the view. Shown scroll bars add their own repaint to every line.
void BM_WatchRequestInTextEdit(benchmark::State &state) {
    ShownPanes panes(state.range(1) != 0);
    Fill(*panes.debugMemo.document(), static_cast<int>(state.range(0)));
    QCoreApplication::processEvents();
    const std::optional<TPingReply> reply = InstantReply();
    TPingFigures figures;
    for (auto _ : state) {
        const int before = panes.debugMemo.document()->characterCount();
        const double start = ThreadSeconds();
        WritePingReply(figures.Sent, reply, panes.input, panes.targets, figures);
        benchmark::DoNotOptimize(LiveFiguresText(figures));
        QCoreApplication::processEvents();  // the paint
        state.SetIterationTime(ThreadSeconds() - start);
        Truncate(*panes.debugMemo.document(), before);
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_WatchRequestInTextEdit)
    ->Args({0, 0})
    ->Args({50, 0})
    ->Args({1000, 0})
    ->Args({100000, 0})
    ->Args({0, 1})
    ->Args({50, 1})
    ->Args({100000, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

long ResidentBytes() {
    long pages = 0;
    long resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

// BM_WatchDayMemory: what the window holds after a day's watch at 300 ms: 288,000 reply lines
// written one by one into a shown results pane (with undo on, as in a pane, though the written
// lines are no undo step), and the live figures, which are a few counters whatever the length.
// Reported as counters: the growth of the resident memory in MB and per request in bytes, and
// the undo steps the pane holds. One iteration; the time is incidental.
void BM_WatchDayMemory(benchmark::State &state) {
    constexpr int kRequests = 24 * 60 * 60 * 1000 / 300;
    for (auto _ : state) {
        ShownPanes panes;
        QCoreApplication::processEvents();
        const long before = ResidentBytes();
        const std::optional<TPingReply> reply = InstantReply();
        TPingFigures figures;
        for (int i = 0; i < kRequests; ++i) {
            WritePingReply(figures.Sent, reply, panes.input, panes.targets, figures);
            if (i % 1000 == 0) {
                QCoreApplication::processEvents();
            }
        }
        WritePingStatistics(panes.input, panes.targets, figures);
        QCoreApplication::processEvents();
        const double grown = static_cast<double>(ResidentBytes() - before);
        state.counters["MB"] = grown / (1024.0 * 1024.0);
        state.counters["bytes_per_request"] = grown / kRequests;
        state.counters["undo_steps"] = panes.debugMemo.document()->availableUndoSteps();
    }
}
BENCHMARK(BM_WatchDayMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
