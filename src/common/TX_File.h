#pragma once

#include <QString>
#include <QtGlobal>

// File helpers shared by start-up, the settings window and the update download.

// Special-folder identifiers understood by GetSpecialPath.
constexpr quint16 CSIDL_COMMON_DOCUMENTS = 46;

// Creates every missing level of FolderName (with or without trailing separator). Returns true
// when every level exists afterwards; false for an empty path or when a level cannot be made.
bool CreateNewFolder(const QString &FolderName);

// Copies FromFile into the folder ToFolder under its own name, replacing a file of that name.
// Returns true on success.
bool CopyLocalFile(const QString &FromFile, const QString &ToFolder);

// Returns the path of a special folder without trailing separator (46: the documents folder,
// created when missing), or the empty string when it cannot be given.
QString GetSpecialPath(quint16 CSIDL);

// Overwrites the file three times with random bytes, flushing after each pass, then deletes it.
// Throws TxError when the file cannot be opened or written; returns true once it is deleted.
bool DeleteFilePermanently(const QString &FileName);
