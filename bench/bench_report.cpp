// Report pagination and PDF export against the length of the results pane: both must grow
// linearly, so twice the runs take about twice the time.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QTextDocument>

#include "reports/ReportBody.h"
#include "reports/ReportEngine.h"
#include "reports/ReportExport.h"
#include "reports/ReportSamples.h"

namespace {

QTextDocument &Body(int runs) {
    static std::map<int, std::unique_ptr<QTextDocument>> bodies;
    auto &body = bodies[runs];
    if (!body) {
        body = std::make_unique<QTextDocument>();
        BuildReportBody(PingRunsLines(runs), *body);
    }
    return *body;
}

// Building the body from the pane's lines ("Create report").
void BM_BuildBody(benchmark::State &state) {
    const QStringList lines = PingRunsLines(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        QTextDocument body;
        BuildReportBody(lines, body);
        benchmark::DoNotOptimize(body.blockCount());
    }
    state.counters["lines"] = static_cast<double>(lines.size());
}

// Laying the body out and breaking it into pages.
void BM_Paginate(benchmark::State &state) {
    QTextDocument &body = Body(static_cast<int>(state.range(0)));
    int pages = 0;
    for (auto _ : state) {
        TPreparedReport report(PingReportTemplate(), body);
        pages = report.PageCount();
    }
    state.counters["pages"] = pages;
    state.counters["per_page"] = benchmark::Counter(
        pages, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Pagination plus the whole PDF document in memory.
void BM_ExportPdf(benchmark::State &state) {
    QTextDocument &body = Body(static_cast<int>(state.range(0)));
    int pages = 0;
    qsizetype bytes = 0;
    for (auto _ : state) {
        TPreparedReport report(PingReportTemplate(), body);
        pages = report.PageCount();
        bytes = ReportToPdf(report, ReportPdfInfo()).size();
    }
    state.counters["pages"] = pages;
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["per_page"] = benchmark::Counter(
        pages, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_BuildBody)->Arg(1000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Paginate)->Arg(1000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportPdf)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(2);

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
