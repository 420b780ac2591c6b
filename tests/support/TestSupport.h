#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <functional>

// Path of a file in the source tree (fixtures live under tests/).
QString SourcePath(const QString &relative);

// Gives the test a fresh, empty home folder (and so a fresh documents folder) for its lifetime;
// the previous HOME comes back when it goes out of scope.
class ScopedHome final {
  public:
    ScopedHome();
    ~ScopedHome();
    ScopedHome(const ScopedHome &) = delete;
    ScopedHome &operator=(const ScopedHome &) = delete;

    QString Path() const { return dir_.path(); }
    // The documents folder inside the fresh home (created).
    QString Documents() const;

  private:
    QTemporaryDir dir_;
    QByteArray previousHome_;
    QByteArray previousDocuments_;
};

// The bytes of the file at `path`; empty when it cannot be read.
QByteArray ReadBytes(const QString &path);

// Writes `bytes` as the whole file at `path`; the test fails when that is not possible.
void WriteBytes(const QString &path, const QByteArray &bytes);

// Processes events until `done` returns true or `timeoutMs` passes; returns done().
bool WaitUntil(const std::function<bool()> &done, int timeoutMs = 10000);

// The number of descriptors the process has open, to show that something closed all it opened.
int OpenDescriptorCount();
