// Geolocation reply: any reply is either read or refused with the parse error, without crash,
// and without stack use that grows with the nesting depth.
#include <QByteArray>

#include "FuzzSupport.h"
#include "common/Errors.h"
#include "lookup/Geolocation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray reply(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    try {
        const TGeolocationInfo info = ParseGeolocationReply(reply);
        // Reading the same reply twice gives the same place.
        const TGeolocationInfo again = ParseGeolocationReply(reply);
        FUZZ_CHECK(info.Latitude == again.Latitude && info.City == again.City,
                   "the reader is deterministic");
    } catch (const TxError &error) {
        FUZZ_CHECK(error.ClassName() == QLatin1String("EDOMParseError"),
                   "a refused reply is a parse error");
        FUZZ_CHECK(!error.Message().isEmpty(), "a parse error says why");
    }
    return 0;
}
