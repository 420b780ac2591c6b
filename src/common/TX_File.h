#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

// File helpers shared by start-up, the settings window and the update download.

// Special-folder identifiers understood by GetSpecialPath.
constexpr quint16 CSIDL_PERSONAL = 5;
constexpr quint16 CSIDL_DESKTOPDIRECTORY = 16;
constexpr quint16 CSIDL_APPDATA = 26;
constexpr quint16 CSIDL_LOCAL_APPDATA = 28;
constexpr quint16 CSIDL_COMMON_DOCUMENTS = 46;

// Creates every missing level of FolderName (with or without trailing "/"), one level at a time.
// Returns true when every level exists afterwards; false for an empty path or as soon as a level
// cannot be made (the levels made before it stay).
bool CreateNewFolder(const QString &FolderName);

// Copies FromFile into the existing folder ToFolder under its own name. A file of that name is
// replaced without asking; the replacement is atomic, so a failed copy leaves the old file as it
// was. Returns true on success, false when the source is not a readable file, the folder does
// not exist or the copy cannot be written.
bool CopyLocalFile(const QString &FromFile, const QString &ToFolder);

// Returns the path of a special folder without trailing separator, creating the folder when it
// is missing: 46 and 5 give the documents folder, 16 the desktop, 26 and 28 the application data
// folder. Returns the empty string for any other id or when the folder cannot be made.
QString GetSpecialPath(quint16 CSIDL);

// What DeleteFilePermanently did, block by block (only filled when asked for).
struct TSecureDeleteTrace {
    QVector<QVector<qint64>> passes;  // bytes of each write, one list per pass
    int flushes = 0;                  // flushes to the device
};

// Overwrites a regular file three times with random bytes, in place and to its exact length,
// flushing to the device after each pass, then deletes it. The file is held open with an
// exclusive lock for the whole overwrite. Symbolic links are not followed.
// Throws TxError with the system's text when the file cannot be opened (missing, locked by
// another program, not a regular file, no rights); nothing is changed then. A failed write or
// flush also throws TxError; the file is closed and is not deleted. Returns true once deleted.
bool DeleteFilePermanently(const QString &FileName, TSecureDeleteTrace *trace = nullptr);
