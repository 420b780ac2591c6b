#include "settings/IniFile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include "common/Errors.h"
#include "common/SafeFile.h"

namespace {

bool IsComment(const QString &trimmed) {
    return trimmed.startsWith(QLatin1Char(';'));
}

// Returns true and the section name when the line is a section line.
bool SectionName(const QString &line, QString *name) {
    const QString trimmed = line.trimmed();
    if (!trimmed.startsWith(QLatin1Char('['))) {
        return false;
    }
    const int close = trimmed.indexOf(QLatin1Char(']'));
    *name = (close < 0 ? trimmed.mid(1) : trimmed.mid(1, close - 1)).trimmed();
    return true;
}

// Returns the position of "=" when the line is an entry line, -1 otherwise.
int EntrySplit(const QString &line) {
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || IsComment(trimmed) || trimmed.startsWith(QLatin1Char('['))) {
        return -1;
    }
    return line.indexOf(QLatin1Char('='));
}

bool SameName(const QString &a, const QString &b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool HasLineBreak(const QString &text) {
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

// Returns the value part of an entry line as the profile functions give it: blanks around it
// removed, then one pair of matching double or single quotes around the whole value removed
// (blanks inside them kept), and cut to the longest value a read returns.
QString EntryValue(const QString &line, int split) {
    QString value = line.mid(split + 1).trimmed();
    if (value.size() >= 2 &&
        (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')) &&
        value.back() == value.front()) {
        value = value.mid(1, value.size() - 2);
    }
    // A lone CR inside a line whose file ends lines with LF stays part of the line. Given back
    // as a blank, the value can be written again; left in, it would refuse every later save.
    value.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return value.left(TIniText::kMaxValueLength);
}

}  // namespace

TIniText TIniText::FromBytes(const QByteArray &bytes) {
    QByteArray data = bytes;
    QString text;
    if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) {
        // A "Unicode" INI file as Windows editors save it: read as 8-bit text, every second
        // byte would be a zero and a save would mangle every line of it.
        QStringDecoder utf16(
            data.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE,
            QStringDecoder::Flag::Stateless);
        text = utf16.decode(data.mid(2));
        // A damaged file may hold half of a surrogate pair, which no UTF-8 save can write; it
        // reads as the replacement character, so that the text read is the text saved.
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
                ++i;
            } else if (c.isSurrogate()) {
                text[i] = QChar::ReplacementCharacter;
            }
        }
    } else {
        if (data.startsWith("\xEF\xBB\xBF")) {
            data.remove(0, 3);
        }
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = utf8.decode(data);
        if (utf8.hasError()) {
            // Files written by older tools use an 8-bit code page; Latin-1 keeps every byte.
            text = QString::fromLatin1(data);
        }
    }
    TIniText ini;
    // Lines end at LF (a CR before it belongs to the line end). Only where no LF follows any more
    // does a lone CR end a line, as in files saved with the old Macintosh line ends; a CR before
    // a later LF stays inside its line, as the profile functions read it.
    int start = 0;
    while (start < text.size()) {
        int end = text.indexOf(QLatin1Char('\n'), start);
        int next = end + 1;
        QString lineEnd = QStringLiteral("\n");
        if (end < 0) {
            end = text.indexOf(QLatin1Char('\r'), start);
            next = end + 1;
            lineEnd = QStringLiteral("\r");
            if (end < 0) {
                end = next = int(text.size());
                lineEnd.clear();
            }
        } else if (end > start && text.at(end - 1) == QLatin1Char('\r')) {
            --end;
            lineEnd = QStringLiteral("\r\n");
        }
        if (ini.lines_.isEmpty() && !lineEnd.isEmpty()) {
            ini.lineEnd_ = lineEnd;
        }
        ini.lines_.append(text.mid(start, end - start));
        ini.ends_.append(lineEnd);
        start = next;
    }
    return ini;
}

QByteArray TIniText::ToBytes() const {
    QString text;
    // Each line keeps the end it was read with; new lines and a last line without an end get the
    // end of the line before them (the file's first end for a first line). Lone CR ends come only
    // after the file's last LF: a line ended by LF among them would make them part of one line
    // when the file is read again.
    QString previous = lineEnd_;
    for (int i = 0; i < lines_.size(); ++i) {
        text += lines_.at(i);
        const QString &end = i < ends_.size() && !ends_.at(i).isEmpty() ? ends_.at(i) : previous;
        text += end;
        previous = end;
    }
    return text.toUtf8();
}

TIniText::Range TIniText::FindSection(const QString &section) const {
    Range range;
    for (int i = 0; i < lines_.size(); ++i) {
        QString name;
        if (!SectionName(lines_.at(i), &name)) {
            continue;
        }
        if (range.header >= 0) {
            range.end = i;
            return range;
        }
        if (SameName(name, section.trimmed())) {
            range.header = i;
        }
    }
    range.end = lines_.size();
    return range;
}

int TIniText::FindKey(const Range &range, const QString &key) const {
    if (range.header < 0) {
        return -1;
    }
    for (int i = range.header + 1; i < range.end; ++i) {
        const int split = EntrySplit(lines_.at(i));
        if (split >= 0 && SameName(lines_.at(i).left(split).trimmed(), key.trimmed())) {
            return i;
        }
    }
    return -1;
}

bool TIniText::Find(const QString &section, const QString &key, QString *value) const {
    const int line = FindKey(FindSection(section), key);
    if (line < 0) {
        return false;
    }
    const QString &text = lines_.at(line);
    *value = EntryValue(text, EntrySplit(text));
    return true;
}

QString TIniText::ReadString(const QString &section, const QString &key,
                             const QString &defaultValue) const {
    QString value;
    return Find(section, key, &value) ? value : defaultValue;
}

QVector<QPair<QString, QString>> TIniText::SectionEntries(const QString &section) const {
    QVector<QPair<QString, QString>> entries;
    const Range range = FindSection(section);
    if (range.header < 0) {
        return entries;
    }
    for (int i = range.header + 1; i < range.end; ++i) {
        const QString &text = lines_.at(i);
        const int split = EntrySplit(text);
        if (split >= 0) {
            entries.append({text.left(split).trimmed(), EntryValue(text, split)});
        }
    }
    return entries;
}

void TIniText::WriteString(const QString &section, const QString &key, const QString &value) {
    const QString sectionName = section.trimmed();
    const QString keyName = key.trimmed();
    // A line break would let a value add lines of its own to the file (and so new keys).
    if (sectionName.isEmpty() || keyName.isEmpty() || HasLineBreak(section) || HasLineBreak(key) ||
        HasLineBreak(value) || sectionName.contains(QLatin1Char(']')) ||
        keyName.contains(QLatin1Char('=')) || keyName.startsWith(QLatin1Char('[')) ||
        IsComment(keyName)) {
        throw TxError(
            QStringLiteral("The settings entry [%1] %2 cannot be stored: names must not be "
                           "empty and no part may hold a line break.")
                .arg(sectionName, keyName));
    }
    const QString entry = keyName + QLatin1Char('=') + value;
    const Range range = FindSection(sectionName);
    if (range.header < 0) {
        if (!lines_.isEmpty() && !lines_.last().trimmed().isEmpty()) {
            lines_.append(QString());
            ends_.resize(lines_.size());
        }
        lines_.append(QLatin1Char('[') + sectionName + QLatin1Char(']'));
        lines_.append(entry);
        ends_.resize(lines_.size());
        return;
    }
    const int line = FindKey(range, keyName);
    if (line >= 0) {
        // Keep the key as the file spells it and the blanks after "=", so that a hand-made
        // layout survives the program's own writes.
        const QString &old = lines_.at(line);
        const int split = EntrySplit(old);
        const QString right = old.mid(split + 1);
        int blanks = 0;
        while (blanks < right.size() && right.at(blanks).isSpace()) {
            ++blanks;
        }
        lines_[line] = old.left(split + 1) + right.left(blanks) + value;
        return;
    }
    // After the section's last non-blank line, so the blank line before the next section stays
    // between the sections.
    int insertAt = range.end;
    while (insertAt - 1 > range.header && lines_.at(insertAt - 1).trimmed().isEmpty()) {
        --insertAt;
    }
    lines_.insert(insertAt, entry);
    ends_.insert(insertAt, QString());
}

bool ReadIniFile(const QString &path, TIniText *text) {
    if (!QFileInfo::exists(path)) {
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw TxError(QStringLiteral("Unable to read %1: %2").arg(path, file.errorString()));
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw TxError(QStringLiteral("Unable to read %1: %2").arg(path, file.errorString()));
    }
    *text = TIniText::FromBytes(bytes);
    return true;
}

TxError UnableToWrite(const QString &path, const QString &cause) {
    return TxError(QStringLiteral("Unable to write to %1: %2").arg(path, cause));
}

void WriteIniFile(const QString &path, const TIniText &text) {
    try {
        WriteFileSafely(path, text.ToBytes());
    } catch (const TxError &error) {
        throw UnableToWrite(path, error.Message());
    }
}

QString ReadProfileString(const QString &path, const QString &section, const QString &key,
                          const QString &defaultValue) {
    TIniText text;
    if (!ReadIniFile(path, &text)) {
        return defaultValue;
    }
    return text.ReadString(section, key, defaultValue);
}

void WriteProfileString(const QString &path, const QString &section, const QString &key,
                        const QString &value) {
    TIniText text;
    try {
        ReadIniFile(path, &text);
    } catch (const TxError &error) {
        // Without the old content every other line would be lost.
        throw UnableToWrite(path, error.Message());
    }
    try {
        text.WriteString(section, key, value);
    } catch (const TxError &error) {
        throw UnableToWrite(path, error.Message());
    }
    WriteIniFile(path, text);
}
