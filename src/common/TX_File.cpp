#include "common/TX_File.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <array>
#include <cerrno>
#include <cstring>

#include "common/Errors.h"
#include "common/SafeFile.h"

namespace {

constexpr QChar kSeparator = QLatin1Char('/');
constexpr qint64 kBlockSize = 4096;
constexpr int kPasses = 3;

QString SystemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Closes the descriptor on every way out, so that a failed pass never leaves the file open.
class FileDescriptor final {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int Get() const { return fd_; }

  private:
    int fd_;
};

// The one overwrite buffer: refilled once per pass, never reallocated.
using OverwriteBuffer = std::array<quint32, kBlockSize / sizeof(quint32)>;

void RandomizeBuffer(OverwriteBuffer &Buffer) {
    QRandomGenerator::global()->fillRange(Buffer.data(), Buffer.size());
}

// Writes `count` bytes at `offset`, retrying after signals and short writes.
bool WriteAt(int fd, const char *data, qint64 count, qint64 offset) {
    while (count > 0) {
        const ssize_t written = ::pwrite(fd, data, size_t(count), off_t(offset));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (written == 0) {
            errno = EIO;
            return false;
        }
        data += written;
        count -= written;
        offset += written;
    }
    return true;
}

}  // namespace

bool CreateNewFolder(const QString &FolderName) {
    QString folder = FolderName;
    if (folder.endsWith(kSeparator)) {
        folder.chop(1);
    }
    if (folder.isEmpty()) {
        return false;
    }
    folder += kSeparator;
    // Level by level, so that a path of several missing levels is made from the top down and a
    // level that cannot be made stops the walk where it failed.
    QString current;
    current.reserve(folder.size());
    for (const QChar ch : folder) {
        current += ch;
        if (ch != kSeparator || QFileInfo(current).isDir()) {
            continue;
        }
        if (!QDir().mkdir(current)) {
            return false;
        }
    }
    return true;
}

bool CopyLocalFile(const QString &FromFile, const QString &ToFolder) {
    const QFileInfo source(FromFile);
    if (!source.isFile() || !QFileInfo(ToFolder).isDir()) {
        return false;
    }
    const QString target = QDir(ToFolder).filePath(source.fileName());
    if (QFileInfo(target).canonicalFilePath() == source.canonicalFilePath()) {
        return true;  // the file is already where it should be
    }
    QFile in(FromFile);
    if (!in.open(QIODevice::ReadOnly)) {
        return false;
    }
    // An existing file is replaced only by a complete copy.
    try {
        TSafeFile out(target);
        out.Open();
        std::array<char, 64 * 1024> chunk;
        for (;;) {
            const qint64 got = in.read(chunk.data(), qint64(chunk.size()));
            if (got < 0) {
                return false;
            }
            if (got == 0) {
                break;
            }
            out.Write(chunk.data(), got);
        }
        out.Commit();
    } catch (const TxError &) {
        return false;
    }
    QFile::setPermissions(target, source.permissions());
    return true;
}

QString GetSpecialPath(quint16 CSIDL) {
    QStandardPaths::StandardLocation location;
    switch (CSIDL) {
        case CSIDL_PERSONAL:
        case CSIDL_COMMON_DOCUMENTS:
            location = QStandardPaths::DocumentsLocation;
            break;
        case CSIDL_DESKTOPDIRECTORY:
            location = QStandardPaths::DesktopLocation;
            break;
        case CSIDL_APPDATA:
        case CSIDL_LOCAL_APPDATA:
            location = QStandardPaths::GenericDataLocation;
            break;
        default:
            return QString();
    }
    QString path = QStandardPaths::writableLocation(location);
    while (path.size() > 1 && path.endsWith(kSeparator)) {
        path.chop(1);
    }
    if (path.isEmpty() || !CreateNewFolder(path)) {
        return QString();
    }
    return path;
}

bool DeleteFilePermanently(const QString &FileName, TSecureDeleteTrace *trace) {
    const QByteArray path = QFile::encodeName(FileName);
    const auto openError = [&FileName](const QString &reason) {
        return TxError(QStringLiteral("Cannot open file \"%1\". %2").arg(FileName, reason),
                       QStringLiteral("EFOpenError"));
    };
    // O_NOFOLLOW: overwriting the target of a link and then removing only the link would
    // destroy data the caller never named.
    FileDescriptor file(::open(path.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY));
    if (file.Get() < 0) {
        throw openError(SystemText(errno));
    }
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0) {
        throw openError(SystemText(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        throw openError(QStringLiteral("It is not a regular file."));
    }
    if (::flock(file.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            throw openError(QStringLiteral("The file is in use by another program."));
        }
        throw openError(SystemText(errno));
    }

    const auto writeError = [&FileName](int error) {
        return TxError(
            QStringLiteral("Cannot write to file \"%1\". %2").arg(FileName, SystemText(error)),
            QStringLiteral("EWriteError"));
    };
    OverwriteBuffer Buffer;
    const char *bytes = reinterpret_cast<const char *>(Buffer.data());
    for (int pass = 0; pass < kPasses; ++pass) {
        RandomizeBuffer(Buffer);
        if (::fstat(file.Get(), &info) != 0) {
            throw writeError(errno);
        }
        if (trace != nullptr) {
            trace->passes.append(QVector<qint64>());
        }
        // 64-bit size and offset: the file is overwritten to its exact length whatever its size.
        qint64 Max = qint64(info.st_size);
        qint64 offset = 0;
        while (Max > 0) {
            const qint64 N = qMin(Max, kBlockSize);
            if (!WriteAt(file.Get(), bytes, N, offset)) {
                throw writeError(errno);
            }
            if (trace != nullptr) {
                trace->passes.last().append(N);
            }
            offset += N;
            Max -= N;
        }
        // Once per pass: each pass must reach the device before the next one replaces it in
        // the cache, but a flush per block would only cost time.
        if (::fsync(file.Get()) != 0) {
            throw writeError(errno);
        }
        if (trace != nullptr) {
            ++trace->flushes;
        }
    }
    if (::unlink(path.constData()) != 0) {
        throw TxError(
            QStringLiteral("Cannot delete file \"%1\". %2").arg(FileName, SystemText(errno)));
    }
    return true;
}
