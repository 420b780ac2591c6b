#include "support/FullDisk.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <vector>

TFullDisk::TFullDisk(qint64 bytes) {
    if (!dir_.isValid()) {
        problem_ = QStringLiteral("no temporary folder");
        return;
    }
    const QByteArray options = "size=" + QByteArray::number(bytes);
    if (::mount("tarvex-full", QFile::encodeName(dir_.path()).constData(), "tmpfs", 0,
                options.constData()) != 0) {
        problem_ = QStringLiteral("mounting a tmpfs is not permitted here: ") +
                   QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    mounted_ = true;
}

TFullDisk::~TFullDisk() {
    if (mounted_) {
        ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
    }
}

void TFullDisk::Fill() {
    const QByteArray path = QFile::encodeName(dir_.filePath(QStringLiteral(".filler")));
    const int descriptor =
        ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        return;
    }
    // Large pieces first, then single bytes, until nothing more fits.
    std::vector<char> block(4096, 'x');
    for (size_t size = block.size(); size > 0; size /= 2) {
        while (::write(descriptor, block.data(), size) == ssize_t(size)) {
        }
    }
    ::close(descriptor);
}
