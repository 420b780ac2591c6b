// RTF reader: any bytes are read without crash or hang; what the writer makes of the document
// reads back to the same text.
#include <QByteArray>
#include <QTextDocument>
#include <algorithm>

#include "FuzzSupport.h"
#include "files/Rtf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QTextDocument first;
    ReadRtf(input, &first);

    const QByteArray written = WriteRtf(first);
    FUZZ_CHECK(IsRtf(written), "the writer makes RTF");
    QTextDocument second;
    ReadRtf(written, &second);
    const QString before = first.toPlainText();
    const QString after = second.toPlainText();
    if (before != after) {
        // Where the texts part, as code points, so that a finding can be read from the log.
        qsizetype at = 0;
        while (at < before.size() && at < after.size() && before.at(at) == after.at(at)) {
            ++at;
        }
        std::fprintf(stderr, "texts part at %lld:", static_cast<long long>(at));
        for (const QString &text : {before, after}) {
            std::fprintf(stderr, " [");
            for (qsizetype i = std::max<qsizetype>(0, at - 3); i < std::min(text.size(), at + 6);
                 ++i) {
                std::fprintf(stderr, " %04x", text.at(i).unicode());
            }
            std::fprintf(stderr, " ]");
        }
        std::fprintf(stderr, "\n");
    }
    FUZZ_CHECK(after == before, "written RTF reads back to its text");
    return 0;
}
