#pragma once

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

#include "common/Errors.h"

// The text of an INI file, kept line by line so that writing one entry leaves every other line
// (comments, blank lines, unknown sections, the layout around "=") exactly as it was.
//
// Section lines are "[" name "]"; entry lines are key "=" value, with blanks around either part
// allowed; lines starting with ";" are comments. Section and key names are compared without
// regard to letter case; the first section or key of a name wins.
class TIniText final {
  public:
    // Longest value a read returns; longer values are cut.
    static constexpr int kMaxValueLength = 2047;

    // Reads file bytes: UTF-16 when they start with its byte-order mark, otherwise UTF-8 (a
    // byte-order mark is skipped), or Latin-1 when the bytes are not valid UTF-8. Lines end with
    // LF or CR LF; a lone CR ends a line only where no LF follows it in the text.
    static TIniText FromBytes(const QByteArray &bytes);

    // Returns the text as UTF-8, each line ended with the line end it was read with; new lines
    // (and a last line without one) get the first line's end (LF for a new text).
    QByteArray ToBytes() const;

    // Returns true and the value when the entry exists; false otherwise. The value is read as
    // the profile functions read it: blanks around it removed, then one pair of matching double
    // or single quotes around it removed; a CR inside it is given back as a blank; cut to
    // kMaxValueLength.
    bool Find(const QString &section, const QString &key, QString *value) const;

    // Returns the entry's value, or defaultValue when the entry does not exist. An entry with an
    // empty value gives the empty text.
    QString ReadString(const QString &section, const QString &key,
                       const QString &defaultValue) const;

    // Returns the entries of a section in file order (empty when the section does not exist).
    QVector<QPair<QString, QString>> SectionEntries(const QString &section) const;

    // Writes one entry: replaces the value where the key stands, or appends the key after the
    // last line of its section, or appends the section (after a blank line) at the end.
    // Throws TxError when a name or the value would break the line structure (a line break, a
    // "]" in a section name, a "=" in a key, an empty name).
    void WriteString(const QString &section, const QString &key, const QString &value);

    const QStringList &Lines() const { return lines_; }

  private:
    struct Range {
        int header = -1;  // line of "[section]", -1 when absent
        int end = 0;      // first line after the section
    };
    Range FindSection(const QString &section) const;
    int FindKey(const Range &range, const QString &key) const;

    QStringList lines_;
    QStringList ends_;  // the line end each line was read with; empty for new lines
    QString lineEnd_ = QStringLiteral("\n");
};

// Returns the error of a failed write: "Unable to write to <path>: <cause>".
TxError UnableToWrite(const QString &path, const QString &cause);

// Reads the whole file. Returns false when no file exists at `path`; throws TxError when one
// exists but cannot be read.
bool ReadIniFile(const QString &path, TIniText *text);

// Replaces the file's content with `text` in one step: a write that fails leaves the previous
// content. Throws UnableToWrite's error when the file cannot be written (missing folder, no
// rights, a folder of that name).
void WriteIniFile(const QString &path, const TIniText &text);

// Returns the value of one entry of the file, or defaultValue when the file, the section or the
// key is missing.
QString ReadProfileString(const QString &path, const QString &section, const QString &key,
                          const QString &defaultValue);

// Writes one entry of the file (see TIniText::WriteString), creating the file when it is
// missing. Throws UnableToWrite's error when the file cannot be read back or written; the file
// is then unchanged.
void WriteProfileString(const QString &path, const QString &section, const QString &key,
                        const QString &value);
