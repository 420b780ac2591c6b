// Throughput of our RTF writer and reader on a 10 MB results document: the colour changes,
// tabs and escapes of ping output, plus some text outside Windows-1252.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QTextCursor>
#include <QTextDocument>

#include "files/Rtf.h"

namespace {

// A results pane of about `bytes` bytes of RTF: runs of reply lines in alternating colours.
void FillResults(QTextDocument *document, qsizetype bytes) {
    document->setDefaultFont(QFont(QStringLiteral("DejaVu Sans"), 8));
    QTextCursor cursor(document);
    QTextCharFormat header;
    header.setForeground(QColor(255, 170, 0));
    header.setFontWeight(QFont::Bold);
    QTextCharFormat reply;
    reply.setForeground(QColor(0, 220, 0));
    QTextCharFormat note;
    note.setForeground(QColor(200, 200, 200));
    note.setFontItalic(true);
    qsizetype written = 0;
    for (int run = 0; written < bytes; ++run) {
        const QString head =
            QStringLiteral(
                "Pinging host-%1.example {caf\u00e9 \u041c\u0438\u0440} with 32 bytes of data:")
                .arg(run);
        cursor.insertText(head, header);
        cursor.insertBlock();
        for (int i = 0; i < 4; ++i) {
            cursor.insertText(QStringLiteral("Reply from 10.0.%1.%2:  bytes=32\ttime=%3ms  TTL=57")
                                  .arg(run % 256)
                                  .arg(i)
                                  .arg(20 + i),
                              reply);
            cursor.insertBlock();
        }
        cursor.insertText(
            QStringLiteral("Packets: Sent = 4, Received = 4, Lost = 0 [ 0% loss ] \\ done"), note);
        cursor.insertBlock();
        written += 420;
    }
}

const QTextDocument &Results() {
    static QTextDocument *document = [] {
        auto *d = new QTextDocument;
        FillResults(d, 10 * 1024 * 1024);
        return d;
    }();
    return *document;
}

void BM_WriteRtf(benchmark::State &state) {
    const QTextDocument &document = Results();
    qsizetype size = 0;
    for (auto _ : state) {
        const QByteArray rtf = WriteRtf(document);
        size = rtf.size();
        benchmark::DoNotOptimize(rtf.constData());
    }
    state.SetBytesProcessed(state.iterations() * size);
    state.counters["rtf_bytes"] = static_cast<double>(size);
}
BENCHMARK(BM_WriteRtf)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void BM_ReadRtf(benchmark::State &state) {
    const QByteArray rtf = WriteRtf(Results());
    for (auto _ : state) {
        QTextDocument document;
        ReadRtf(rtf, &document);
        benchmark::DoNotOptimize(document.characterCount());
    }
    state.SetBytesProcessed(state.iterations() * rtf.size());
    state.counters["rtf_bytes"] = static_cast<double>(rtf.size());
}
BENCHMARK(BM_ReadRtf)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace

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
