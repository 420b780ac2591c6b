#include "update/VersionCheck.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>

#include "common/Errors.h"
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

// Line 6 when it names a package: a file name, or an http or https URL ending in one.
QString ParsePackage(const QString &line) {
    const QString trimmed = line.trimmed();
    if (IsPackageFileName(trimmed)) {
        return trimmed;
    }
    const QUrl url(trimmed, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        url.host().isEmpty() || !IsPackageFileName(url.fileName())) {
        return QString();
    }
    return trimmed;
}

}  // namespace

bool IsPackageFileName(const QString &name) {
    static const QRegularExpression fileName(
        QStringLiteral("^[A-Za-z0-9][A-Za-z0-9.+~_-]{0,200}\\.deb\\z"));
    return fileName.match(name).hasMatch();
}

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
    info.Package = ParsePackage(line(6));
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

QString PackageUrl(const QString &package) {
    if (IsPackageFileName(package)) {
        return DownloadServerUrl() + QStringLiteral("/Download/Tarvex/") + package;
    }
    return package;
}

QString PackageFileName(const QString &package) {
    return IsPackageFileName(package) ? package : QUrl(package).fileName();
}

QString ReleasePageUrl() {
    return ServiceSetting(QStringLiteral("Release Page URL"),
                          DownloadServerUrl() + QStringLiteral("/Download/Tarvex/"));
}

QString PackageDownloadFolder() {
    QString folder = qEnvironmentVariable("XDG_DOWNLOAD_DIR");
    if (folder.isEmpty()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    }
    if (folder.isEmpty()) {
        folder = QDir::homePath() + QStringLiteral("/Downloads");
    }
    return QDir::cleanPath(folder);
}

QString PackageInstallCommand(const QString &path) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9/._+~-]+\\z"));
    QString argument = path;
    if (!plain.match(path).hasMatch()) {
        // Single quotes keep every character as it is; a quote itself ends the quoting, is
        // written escaped and the quoting starts again.
        argument.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
        argument = QLatin1Char('\'') + argument + QLatin1Char('\'');
    }
    return QStringLiteral("sudo apt install ") + argument;
}

TVersionInfo FetchVersionInfo(const QString &currentVersion, const TExchangeLimits &limits) {
    return ParseVersionFile(HttpGetText(VersionFileUrl(), limits), currentVersion);
}

void DownloadPackage(const QString &url, const QString &targetPath, const QByteArray &sha256,
                     const TExchangeLimits &limits) {
    // The client writes beside the target and renames only a complete transfer, so a broken
    // download neither leaves a partial package nor touches one saved before.
    HttpGetToFile(url, targetPath, limits);
    if (!sha256.isEmpty() && FileSha256(targetPath) != sha256) {
        QFile::remove(targetPath);
        throw TxError(QStringLiteral("The downloaded package does not match its SHA-256 checksum."),
                      QStringLiteral("EIdException"));
    }
}
