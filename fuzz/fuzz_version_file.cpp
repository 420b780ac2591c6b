// Version file: any text is read as a version file or refused with an error.
#include <QByteArray>
#include <QString>

#include "FuzzSupport.h"
#include "common/Errors.h"
#include "update/VersionCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    try {
        const TVersionInfo info = ParseVersionFile(text);
        FUZZ_CHECK(info.Sha256.isEmpty() || info.Sha256.size() == 32,
                   "a package checksum is 32 bytes");
        FUZZ_CHECK(info.UpdateAvailable || info.Sha256.isEmpty(),
                   "without an update there is no checksum");
        FUZZ_CHECK(info.UpdateAvailable || info.Package.isEmpty(),
                   "without an update there is no package");
        // The package is saved under its name in the downloads folder: never a path.
        FUZZ_CHECK(info.Package.isEmpty() || IsPackageFileName(PackageFileName(info.Package)),
                   "a named package is saved under a plain file name");
    } catch (const TxError &error) {
        FUZZ_CHECK(!error.Message().isEmpty(), "a refused file says why");
    }
    return 0;
}
