#pragma once

#include <sys/types.h>
#include <QByteArray>
#include <QString>

// Replaces a file so that its old content stays whole until the new content is wholly on disk:
// a full disk, a quota or a killed process leaves either the old file or the new one, never an
// empty or half-written one. Every failure throws TxError whose message is only the system's
// reason ("No space left on device"), so that each caller puts it into its own sentence.
//
// The new content goes into a file beside the target, is flushed to the disk and renamed over
// the target. Where the folder forbids new files but the file itself may be written (a settings
// file in a shared folder), the content is held until Commit, the room for all of it is taken
// first, and only then is the file overwritten. A symbolic link is followed: the file it points
// to is the one replaced, and the link stays.
class TSafeFile final {
  public:
    explicit TSafeFile(const QString &path);
    // Discards what was written unless Commit succeeded.
    ~TSafeFile();
    TSafeFile(const TSafeFile &) = delete;
    TSafeFile &operator=(const TSafeFile &) = delete;

    void Open();
    void Write(const char *data, qint64 size);
    void Write(const QByteArray &data) { Write(data.constData(), data.size()); }
    // Makes the new content the file's. Throws, leaving the old file as it was, when it cannot.
    void Commit();
    // Drops the new content; the old file stays as it was.
    void Discard();

  private:
    void CommitInPlace();

    QString path_;
    QByteArray target_;
    QByteArray temporary_;
    QByteArray held_;
    int descriptor_ = -1;
    off_t written_ = 0;  // where the next write goes in the temporary file
    bool inPlace_ = false;
    bool open_ = false;
};

// Writes `data` as the whole file at `path` through TSafeFile.
void WriteFileSafely(const QString &path, const QByteArray &data);
