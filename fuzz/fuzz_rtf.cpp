// RTF reader: any bytes are read without crash or hang; what the writer makes of the document
// reads back to the same text.
#include <QByteArray>
#include <QTextDocument>

#include "FuzzSupport.h"
#include "reports/Rtf.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    StartQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QTextDocument first;
    ReadRtf(input, &first);

    const QByteArray written = WriteRtf(first);
    FUZZ_CHECK(IsRtf(written), "the writer makes RTF");
    QTextDocument second;
    ReadRtf(written, &second);
    FUZZ_CHECK(second.toPlainText() == first.toPlainText(), "written RTF reads back to its text");
    return 0;
}
