#pragma once

#include <QByteArray>
#include <QString>

#include "common/HttpClient.h"

// The update check: the version file on the maker's download server and the installer beside it.
//
// Version file (plain text, one item a line):
//   1  the newest version's code; when it contains the running version's code there is no update
//   2  version text          3  first information line          4  second information line
//   5  optional: SHA-256 of the installer, 64 hexadecimal digits

// The running version's code and its texts.
inline constexpr const char *kCurrentVersionCode = "1020";
inline constexpr const char *kCurrentVersionText = "version 1.0.2.0";

// What a version file says.
struct TVersionInfo {
    bool UpdateAvailable = false;
    QString VersionText;   // line 2, or the running version's text when there is no update
    QString Information1;  // line 3, or "No updates available."
    QString Information2;  // line 4, or "Changes are expected."
    QByteArray Sha256;     // line 5 as 32 raw bytes; empty when the line holds no hash
};

// Reads a version file's text (lines end in CR LF, LF or CR). Lines missing after the first read
// as empty texts. Throws TxError when the text has no version code at all (empty first line):
// such a file cannot announce anything.
TVersionInfo ParseVersionFile(const QString &text,
                              const QString &currentVersion = QLatin1String(kCurrentVersionCode));

// The download server's base address ([SERVICES] "Download URL", else the maker's server),
// and the two addresses below it.
QString DownloadServerUrl();
QString VersionFileUrl();
QString InstallerUrl();

// Fetches and reads the version file. Blocks: run it through RunBlocking. Throws TxError when
// the file cannot be fetched or read.
TVersionInfo FetchVersionInfo(const QString &currentVersion = QLatin1String(kCurrentVersionCode),
                              const TExchangeLimits &limits = kVersionFileLimits);

// Downloads the installer from `url` into `targetPath`. A file already there is destroyed first
// (overwritten, then deleted). A download that fails (an installer larger than the limit
// included) leaves no file behind; when `sha256` is not empty, a file whose SHA-256 differs is
// deleted and the call fails. Blocks: run it through RunBlocking. Throws TxError.
void DownloadInstaller(const QString &url, const QString &targetPath, const QByteArray &sha256,
                       const TExchangeLimits &limits = kInstallerLimits);
