#include "common/PictureSources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

// Set by the build: the installed pictures relative to the installed program's folder (for
// example "../share/tarvex"), the build folder, and the source tree's pictures.
#ifndef TARVEX_PICTURES_FROM_PROGRAM
#define TARVEX_PICTURES_FROM_PROGRAM "../share/tarvex"
#endif

QStringList PictureSourceFolders() {
    QStringList folders{QDir::currentPath()};
    if (QCoreApplication::instance() == nullptr) {
        return folders;
    }
    const QString programFolder = QCoreApplication::applicationDirPath();
    folders << QDir::cleanPath(programFolder + QLatin1Char('/') +
                               QStringLiteral(TARVEX_PICTURES_FROM_PROGRAM));
#if defined(TARVEX_BUILD_FOLDER) && defined(TARVEX_SOURCE_PICTURES)
    // Only a program that runs from the build folder looks into the source tree; an installed
    // one must not pick up pictures from wherever it happened to be built.
    const QString buildFolder = QFileInfo(QStringLiteral(TARVEX_BUILD_FOLDER)).canonicalFilePath();
    if (!buildFolder.isEmpty() && (programFolder == buildFolder ||
                                   programFolder.startsWith(buildFolder + QLatin1Char('/')))) {
        folders << QDir::cleanPath(QStringLiteral(TARVEX_SOURCE_PICTURES));
    }
#endif
    return folders;
}

QString PictureSource(const QString &FileName) {
    const QStringList folders = PictureSourceFolders();
    for (const QString &folder : folders) {
        const QString path = folder + QLatin1Char('/') + FileName;
        if (QFileInfo(path).isFile()) {
            return path;
        }
    }
    return folders.first() + QLatin1Char('/') + FileName;
}
