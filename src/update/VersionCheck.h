#pragma once

#include <QByteArray>
#include <QString>

#include "common/HttpClient.h"

// The update check: the version file on the maker's download server, and the Debian package of
// the new version that it names.
//
// Version file (plain text, one item a line):
//   1  the newest version's code; when it contains the running version's code there is no update
//   2  version text          3  first information line          4  second information line
//   5  optional: SHA-256 of the package, 64 hexadecimal digits
//   6  optional: the new version's Debian package: a file name in the download server's
//      "/Download/Tarvex/" folder (tarvex_1.0.3.0_amd64.deb), or a full http or https URL
//      whose last part is such a name. Without it the update opens the release page.

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
    QString Package;       // line 6 when it names a package as above; empty otherwise
};

// Whether `name` can be the file name of a Debian package: letters, digits and ".+~_-", not
// starting with a dot or dash, ending in ".deb"; so it names a file in a folder and nothing else.
bool IsPackageFileName(const QString &name);

// Reads a version file's text (lines end in CR LF, LF or CR). Lines missing after the first read
// as empty texts. Throws TxError when the text has no version code at all (empty first line):
// such a file cannot announce anything.
TVersionInfo ParseVersionFile(const QString &text,
                              const QString &currentVersion = QLatin1String(kCurrentVersionCode));

// The download server's base address ([SERVICES] "Download URL", else the maker's server),
// and the addresses below it.
QString DownloadServerUrl();
QString VersionFileUrl();
// The address of a package named on the version file (TVersionInfo::Package): a full URL as it
// stands, a file name in the server's "/Download/Tarvex/" folder.
QString PackageUrl(const QString &package);
// The file name under which the package is saved: the last part of its name or URL.
QString PackageFileName(const QString &package);

// The page that presents the new version, opened when the version file names no package:
// [SERVICES] "Release Page URL", else the download server's "/Download/Tarvex/" folder.
QString ReleasePageUrl();

// The folder that downloaded packages are saved in: the user's downloads folder
// (XDG_DOWNLOAD_DIR, else ~/Downloads).
QString PackageDownloadFolder();

// The command that installs the package saved at `path` ("sudo apt install" and the path, quoted
// for the shell when it holds anything but letters, digits and "/._+~-").
QString PackageInstallCommand(const QString &path);

// Fetches and reads the version file. Blocks: run it through RunBlocking. Throws TxError when
// the file cannot be fetched or read.
TVersionInfo FetchVersionInfo(const QString &currentVersion = QLatin1String(kCurrentVersionCode),
                              const TExchangeLimits &limits = kVersionFileLimits);

// Downloads the package from `url` into `targetPath`. A file already there is replaced only by a
// complete download. A download that fails (a package larger than the limit included) leaves no
// new file behind; when `sha256` is not empty, a file whose SHA-256 differs is deleted and the
// call fails. Blocks: run it through RunBlocking. Throws TxError.
void DownloadPackage(const QString &url, const QString &targetPath, const QByteArray &sha256,
                     const TExchangeLimits &limits = kInstallerLimits);
