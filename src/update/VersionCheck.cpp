#include "update/VersionCheck.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include "common/Errors.h"
#include "common/TX_File.h"
#include "settings/Services.h"

namespace {

QByteArray ParseSha256(const QString &line) {
    static const QRegularExpression hexDigest(QStringLiteral("^[0-9A-Fa-f]{64}$"));
    const QString trimmed = line.trimmed();
    if (!hexDigest.match(trimmed).hasMatch()) {
        return {};
    }
    return QByteArray::fromHex(trimmed.toLatin1());
}

QByteArray FileSha256(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw TxError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()),
                      QStringLiteral("EFOpenError"));
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

}  // namespace

TVersionInfo ParseVersionFile(const QString &text, const QString &currentVersion) {
    // A string list loaded from text breaks lines at CR LF, LF and a lone CR alike.
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
    QStringList lines = text.split(lineBreak);
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    const auto line = [&lines](int number) {
        return number <= lines.size() ? lines.at(number - 1) : QString();
    };

    if (line(1).trimmed().isEmpty()) {
        throw TxError(QStringLiteral("The version file holds no version code."),
                      QStringLiteral("EConvertError"));
    }

    TVersionInfo info;
    if (line(1).contains(currentVersion)) {
        info.UpdateAvailable = false;
        info.VersionText = QLatin1String(kCurrentVersionText);
        info.Information1 = QStringLiteral("No updates available.");
        info.Information2 = QStringLiteral("Changes are expected.");
        return info;
    }
    info.UpdateAvailable = true;
    info.VersionText = line(2);
    info.Information1 = line(3);
    info.Information2 = line(4);
    info.Sha256 = ParseSha256(line(5));
    return info;
}

QString DownloadServerUrl() {
    QString base =
        ServiceSetting(QStringLiteral("Download URL"), QStringLiteral("http://www.haldrin.com"));
    while (base.endsWith(QLatin1Char('/'))) {
        base.chop(1);
    }
    return base;
}

QString VersionFileUrl() {
    return DownloadServerUrl() + QStringLiteral("/Download/Tarvex/NewVersion.txt");
}

QString InstallerUrl() {
    return DownloadServerUrl() + QStringLiteral("/Download/Tarvex/Update.exe");
}

TVersionInfo FetchVersionInfo(const QString &currentVersion, const TExchangeLimits &limits) {
    return ParseVersionFile(HttpGetText(VersionFileUrl(), limits), currentVersion);
}

void DownloadInstaller(const QString &url, const QString &targetPath, const QByteArray &sha256,
                       const TExchangeLimits &limits) {
    if (QFileInfo::exists(targetPath)) {
        DeleteFilePermanently(targetPath);
    }
    // The client writes beside the target and renames only a complete transfer, so a broken
    // download never leaves a partial installer that could be started later.
    HttpGetToFile(url, targetPath, limits);
    if (!sha256.isEmpty() && FileSha256(targetPath) != sha256) {
        QFile::remove(targetPath);
        throw TxError(
            QStringLiteral("The downloaded installer does not match its SHA-256 checksum."),
            QStringLiteral("EIdException"));
    }
}
