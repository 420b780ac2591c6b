#include "support/TestSupport.h"

#include <dirent.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

QString SourcePath(const QString &relative) {
    QString root = qEnvironmentVariable("TARVEX_SOURCE_DIR");
    if (root.isEmpty()) {
        root = QStringLiteral(TARVEX_SOURCE_DIR_FALLBACK);
    }
    return QDir(root).filePath(relative);
}

ScopedHome::ScopedHome()
    : previousHome_(qgetenv("HOME")), previousDocuments_(qgetenv("XDG_DOCUMENTS_DIR")) {
    qputenv("HOME", dir_.path().toLocal8Bit());
    qputenv("XDG_DOCUMENTS_DIR", (dir_.path() + QStringLiteral("/Documents")).toLocal8Bit());
    QDir().mkpath(Documents());
}

ScopedHome::~ScopedHome() {
    qputenv("HOME", previousHome_);
    if (previousDocuments_.isEmpty()) {
        qunsetenv("XDG_DOCUMENTS_DIR");
    } else {
        qputenv("XDG_DOCUMENTS_DIR", previousDocuments_);
    }
}

QString ScopedHome::Documents() const {
    return dir_.path() + QStringLiteral("/Documents");
}

QByteArray ReadBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteBytes(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size()) << path.toStdString();
}

bool WaitUntil(const std::function<bool()> &done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return done();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

int OpenDescriptorCount() {
    int count = 0;
    if (DIR *folder = opendir("/proc/self/fd")) {
        while (readdir(folder) != nullptr) {
            ++count;
        }
        closedir(folder);
    }
    return count;
}
