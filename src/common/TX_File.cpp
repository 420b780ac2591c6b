#include "common/TX_File.h"

#include <QDir>
#include <QStandardPaths>

// Minimal first version; the full helpers replace it.
bool CreateNewFolder(const QString &FolderName) {
    return !FolderName.isEmpty() && QDir().mkpath(FolderName);
}

bool CopyLocalFile(const QString &, const QString &) { return false; }

QString GetSpecialPath(quint16 CSIDL) {
    if (CSIDL != CSIDL_COMMON_DOCUMENTS) {
        return QString();
    }
    const QString path = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QDir().mkpath(path);
    return path;
}

bool DeleteFilePermanently(const QString &) { return false; }
