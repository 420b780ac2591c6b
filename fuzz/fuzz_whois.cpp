// WHOIS reply layout: any reply text is split into lines and laid out for the results pane.
#include <QByteArray>
#include <QString>
#include <QTextDocument>

#include "FuzzSupport.h"
#include "lookup/Whois.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString reply =
        QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QStringList lines = WhoisReplyLines(reply);
    for (const QString &line : lines) {
        FUZZ_CHECK(!line.contains(QLatin1Char('\n')) && !line.contains(QLatin1Char('\r')),
                   "a reply line holds no line end");
        const QString shown = FormatWhoisLine(line);
        FUZZ_CHECK(shown.contains(QLatin1Char('%')) || shown.contains(QLatin1Char('\t')),
                   "a laid-out line is kept or has its tabs");
    }
    QTextDocument pane;
    WriteWhoisResult(&pane, reply, Qt::gray);
    // Header lines, the reply lines, and the empty block after the last line break.
    FUZZ_CHECK(pane.blockCount() >= WhoisHeaderLines().size() + lines.size(),
               "every reply line reaches the pane");
    return 0;
}
