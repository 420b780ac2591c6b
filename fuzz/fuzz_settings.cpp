// INI reader and settings file: any file is read; what is read writes back and reads again to
// the same lines and values; saving the settings over any file works and keeps what it read.
#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include "FuzzSupport.h"
#include "common/Errors.h"
#include "settings/IniFile.h"
#include "settings/SettingsFile.h"

namespace {

void WriteFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate),
               "the harness writes its file");
    file.write(bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    // The INI text: written out and read again, it has the same lines.
    const TIniText text = TIniText::FromBytes(bytes);
    const TIniText again = TIniText::FromBytes(text.ToBytes());
    FUZZ_CHECK(again.Lines() == text.Lines(), "the INI text reads back to its lines");

    // The settings file: load, save, load gives the same values and keeps [SERVICES].
    static const QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Tarvex.ini"));
    WriteFile(path, bytes);
    TSettingsValues loaded;
    QHash<QString, QString> services;
    FUZZ_CHECK(LoadSettingsFile(path, &loaded, &services), "an existing file loads");
    try {
        SaveSettingsFile(path, loaded);
    } catch (const TxError &error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.Message()));
        FUZZ_CHECK(false, "what was loaded can be saved");
    }
    TSettingsValues reloaded;
    QHash<QString, QString> servicesAgain;
    FUZZ_CHECK(LoadSettingsFile(path, &reloaded, &servicesAgain), "the saved file loads");
    FUZZ_CHECK(reloaded == loaded, "saved values read back the same");
    FUZZ_CHECK(servicesAgain == services, "saving keeps the service entries");
    return 0;
}
