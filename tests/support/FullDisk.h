#pragma once

#include <QString>
#include <QTemporaryDir>

// A small file system of the test's own (a tmpfs mounted on a temporary folder), to be filled to
// the last byte as a user's full disk is, with good files on it that a save must not harm.
class TFullDisk final {
  public:
    explicit TFullDisk(qint64 bytes = 64 * 1024);
    ~TFullDisk();
    TFullDisk(const TFullDisk &) = delete;
    TFullDisk &operator=(const TFullDisk &) = delete;

    // Empty when the file system is mounted; otherwise why not (the test is then skipped).
    QString Problem() const { return problem_; }
    QString Path() const { return dir_.path(); }
    QString FilePath(const QString &name) const { return dir_.filePath(name); }
    // Takes every byte left, so that the next write of any size fails for want of room.
    void Fill();

  private:
    QTemporaryDir dir_;
    QString problem_;
    bool mounted_ = false;
};
