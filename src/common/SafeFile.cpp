#include "common/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include "common/Errors.h"

namespace {
TxError SystemError(int code) {
    return TxError(QString::fromLocal8Bit(std::strerror(code)));
}

// Writes all of `data` at `offset`, through interruptions and short writes.
void WriteAll(int descriptor, const char *data, qint64 size, off_t offset) {
    while (size > 0) {
        const ssize_t done = ::pwrite(descriptor, data, size_t(size), offset);
        if (done < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw SystemError(errno);
        }
        if (done == 0) {
            // A device that takes nothing without saying why is full, as far as a user can tell.
            throw SystemError(ENOSPC);
        }
        data += done;
        size -= done;
        offset += done;
    }
}

mode_t CurrentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}
}  // namespace

TSafeFile::TSafeFile(const QString &path) : path_(path) {}

TSafeFile::~TSafeFile() {
    Discard();
}

void TSafeFile::Open() {
    Discard();
    QString target = path_;
    const QFileInfo info(path_);
    if (info.isSymLink()) {
        target = info.symLinkTarget();
    }
    target_ = QFile::encodeName(QDir::cleanPath(QFileInfo(target).absoluteFilePath()));
    const QFileInfo targetInfo(QFile::decodeName(target_));
    if (targetInfo.isDir()) {
        throw SystemError(EISDIR);
    }
    QByteArray pattern = QFile::encodeName(targetInfo.absolutePath()) + "/." +
                         QFile::encodeName(targetInfo.fileName()) + ".XXXXXX";
    const int descriptor = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (descriptor >= 0) {
        descriptor_ = descriptor;
        written_ = 0;
        temporary_ = pattern;
        inPlace_ = false;
        open_ = true;
        return;
    }
    const int cause = errno;
    if ((cause != EACCES && cause != EPERM) || !targetInfo.exists()) {
        throw SystemError(cause);
    }
    // The folder forbids new files; the file itself may still be writable.
    const int existing = ::open(target_.constData(), O_WRONLY | O_CLOEXEC);
    if (existing < 0) {
        throw SystemError(errno);
    }
    descriptor_ = existing;
    inPlace_ = true;
    open_ = true;
}

void TSafeFile::Write(const char *data, qint64 size) {
    if (!open_) {
        throw SystemError(EBADF);
    }
    if (inPlace_) {
        held_.append(data, size);
        return;
    }
    WriteAll(descriptor_, data, size, written_);
    written_ += size;
}

void TSafeFile::Commit() {
    if (!open_) {
        throw SystemError(EBADF);
    }
    if (inPlace_) {
        CommitInPlace();
        return;
    }
    // The data reaches the disk before the name does: a crash after the rename must not leave
    // the name on an empty file. Some file systems report a full disk only here.
    if (::fsync(descriptor_) != 0) {
        throw SystemError(errno);
    }
    struct stat old {};
    const mode_t mode =
        ::stat(target_.constData(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~CurrentUmask());
    if (::fchmod(descriptor_, mode) != 0) {
        throw SystemError(errno);
    }
    const int descriptor = descriptor_;
    descriptor_ = -1;
    if (::close(descriptor) != 0) {
        throw SystemError(errno);
    }
    if (::rename(temporary_.constData(), target_.constData()) != 0) {
        throw SystemError(errno);
    }
    temporary_.clear();
    open_ = false;
    // The rename itself is made durable by the folder's own flush; a failure here loses nothing
    // that was there before, so it is not worth an error.
    const QByteArray folder =
        QFile::encodeName(QFileInfo(QFile::decodeName(target_)).absolutePath());
    const int directory = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
}

void TSafeFile::CommitInPlace() {
    const off_t size = off_t(held_.size());
    // Every block the new content needs is taken before the first byte of the old one is
    // overwritten; a file system that cannot say so in advance is written as it comes.
    const int reserved = size > 0 ? ::posix_fallocate(descriptor_, 0, size) : 0;
    if (reserved != 0 && reserved != EOPNOTSUPP && reserved != EINVAL) {
        throw SystemError(reserved);
    }
    WriteAll(descriptor_, held_.constData(), held_.size(), 0);
    if (::ftruncate(descriptor_, size) != 0 || ::fsync(descriptor_) != 0) {
        throw SystemError(errno);
    }
    const int descriptor = descriptor_;
    descriptor_ = -1;
    open_ = false;
    held_.clear();
    if (::close(descriptor) != 0) {
        throw SystemError(errno);
    }
}

void TSafeFile::Discard() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
        descriptor_ = -1;
    }
    if (!temporary_.isEmpty()) {
        ::unlink(temporary_.constData());
        temporary_.clear();
    }
    held_.clear();
    open_ = false;
}

void WriteFileSafely(const QString &path, const QByteArray &data) {
    TSafeFile file(path);
    file.Open();
    file.Write(data);
    file.Commit();
}
