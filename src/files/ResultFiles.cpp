// Address lists and result files.
#include "files/ResultFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QUrl>

#include "common/Errors.h"
#include "common/SafeFile.h"
#include "common/TX_Net.h"
#include "files/Rtf.h"

namespace {

QString WithSeparator(const QString &folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

[[noreturn]] void CannotOpen(const QString &path, const QString &reason) {
    throw TxError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, reason));
}

void OpenForReading(QFile &file) {
    if (QFileInfo(file.fileName()).isDir()) {
        CannotOpen(file.fileName(), QStringLiteral("It is a folder."));
    }
    if (!file.open(QIODevice::ReadOnly)) {
        CannotOpen(file.fileName(), file.errorString());
    }
}

[[noreturn]] void CannotLoadList(const QString &path, const QString &reason) {
    throw TxError(QStringLiteral("Cannot load the address list \"%1\". %2").arg(path, reason));
}

// Reads at most `maxBytes` bytes of the list. The size is looked at before anything is read, and
// the reading stops one byte past the limit all the same: a device or a file that grows as it is
// read tells no size in advance.
QByteArray ReadListBytes(const QString &path, qint64 maxBytes) {
    QFile file(path);
    OpenForReading(file);
    const QString tooLarge =
        QStringLiteral("The file is larger than %1.").arg(ByteSizeText(maxBytes));
    if (file.size() > maxBytes) {
        CannotLoadList(path, tooLarge);
    }
    const QByteArray data = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        CannotOpen(path, file.errorString());
    }
    if (data.size() > maxBytes) {
        CannotLoadList(path, tooLarge);
    }
    return data;
}

// Lines are counted as the file shows them; the rule that the addresses are normalised after
// this never joins or splits a line, so the number points at the line as it is in the file.
void CheckLineLengths(const QString &path, const QString &text) {
    const QStringList lines = TextLines(text);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines.at(i).size() > kAddressMaxLength) {
            CannotLoadList(path, QStringLiteral("Line %1 is longer than %2 characters.")
                                     .arg(i + 1)
                                     .arg(kAddressMaxLength));
        }
    }
}

}  // namespace

QString ComposeLoadPath(const QString &folder, const QString &name) {
    if (folder.isEmpty()) {
        return QString();
    }
    return WithSeparator(folder) + name;
}

QString ComposeSavePath(const QString &folder, const QString &name) {
    if (folder.isEmpty()) {
        return QString();
    }
    QString path = WithSeparator(folder) + (name.isEmpty() ? QStringLiteral("Result") : name);
    // Deliberately case-sensitive and over the whole path: "x.RTF" becomes "x.RTF.rtf", and a
    // folder named "old.rtf" keeps the name as typed.
    if (!path.contains(QStringLiteral(".rtf"))) {
        path += QStringLiteral(".rtf");
    }
    return path;
}

QString ResolveTypedPath(const QString &typed, const QString &base) {
    QString path = typed.trimmed();
    // File managers and shells hand out paths in quotes when they hold blanks.
    for (const QChar quote : {QLatin1Char('"'), QLatin1Char('\'')}) {
        if (path.size() >= 2 && path.startsWith(quote) && path.endsWith(quote)) {
            path = path.mid(1, path.size() - 2).trimmed();
            break;
        }
    }
    if (path.startsWith(QStringLiteral("file:"), Qt::CaseInsensitive)) {
        path = QUrl(path).toLocalFile();
    } else if (QRegularExpression(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"))
                   .match(path)
                   .hasMatch()) {
        return QString();  // a web address is no file of this machine
    }
    if (path.isEmpty()) {
        return QString();
    }
    if (path == QLatin1String("~") || path.startsWith(QStringLiteral("~/"))) {
        path = QDir::homePath() + path.mid(1);
    }
    const QDir from(base.isEmpty() ? QDir::homePath() : base);
    return QDir::cleanPath(from.absoluteFilePath(path));
}

QString NormaliseAddresses(const QString &text) {
    QString result = text;
    result.remove(QStringLiteral("https://"), Qt::CaseInsensitive);
    result.remove(QStringLiteral("http://"), Qt::CaseInsensitive);
    result.remove(QStringLiteral("www."), Qt::CaseInsensitive);
    return result;
}

QStringList TextLines(const QString &text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines.append(text.mid(start, i - start));
            if (c == QLatin1Char('\r') && i + 1 < size && text.at(i + 1) == QLatin1Char('\n')) {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < size) {
        lines.append(text.mid(start));
    }
    return lines;
}

QString DecodePlainText(const QByteArray &bytes) {
    QByteArray data = bytes;
    if (data.startsWith("\xEF\xBB\xBF")) {
        data.remove(0, 3);
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(data);
    if (!utf8.hasError()) {
        return text;
    }
    return QString::fromLatin1(data);
}

QByteArray ReadWholeFile(const QString &path) {
    QFile file(path);
    OpenForReading(file);
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        CannotOpen(path, file.errorString());
    }
    return data;
}

QStringList ReadAddressList(const QString &path, QTextDocument *asRead) {
    const QByteArray data = ReadListBytes(path, kAddressListMaxBytes);
    const bool rich = IsRtf(data);
    QString text;
    if (rich) {
        QTextDocument read;
        ReadRtf(data, &read);
        text = read.toPlainText();
    } else {
        text = DecodePlainText(data);
    }
    CheckLineLengths(path, text);
    if (asRead != nullptr) {
        // Read again into the caller's document rather than copied from this one, so that it
        // holds what LoadDocumentFile would give; the bytes are few.
        if (rich) {
            ReadRtf(data, asRead);
        } else {
            asRead->setPlainText(text);
        }
    }
    return TextLines(NormaliseAddresses(text));
}

void LoadDocumentFile(const QString &path, QTextDocument *document) {
    const QByteArray data = ReadWholeFile(path);
    if (IsRtf(data)) {
        ReadRtf(data, document);
    } else {
        document->setPlainText(DecodePlainText(data));
    }
}

void SaveRtfFile(const QString &path, const QTextDocument &document, const QColor &defaultColor) {
    SaveBytesFile(path, WriteRtf(document, defaultColor));
}

void SaveBytesFile(const QString &path, const QByteArray &data) {
    try {
        WriteFileSafely(path, data);
    } catch (const TxError &error) {
        throw TxError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, error.Message()));
    }
}

void AppendDocument(QTextDocument *target, const QTextDocument &source,
                    const QColor &defaultColor) {
    QTextCursor cursor(target);
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    const QFont base = source.defaultFont();
    bool first = true;
    for (QTextBlock block = source.begin(); block.isValid(); block = block.next()) {
        if (!first) {
            QTextCharFormat blockChars = block.charFormat();
            blockChars.setFont(blockChars.font().resolve(base));
            cursor.insertBlock(block.blockFormat(), blockChars);
        }
        first = false;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid()) {
                continue;
            }
            QTextCharFormat format = fragment.charFormat();
            format.setFont(format.font().resolve(base));
            if (defaultColor.isValid() && (!format.hasProperty(QTextFormat::ForegroundBrush) ||
                                           format.foreground().style() == Qt::NoBrush)) {
                format.setForeground(defaultColor);
            }
            cursor.insertText(fragment.text(), format);
        }
    }
    cursor.endEditBlock();
}

void BuildResultDocument(QTextDocument *target, const QTextDocument &body,
                         const QString &headerFamily, const QColor &headerColor,
                         const QColor &bodyColor) {
    target->clear();
    QTextCursor cursor(target);
    QTextCharFormat title;
    title.setFontFamilies({headerFamily});
    title.setFontPointSize(14);
    title.setFontWeight(QFont::Bold);
    if (headerColor.isValid()) {
        title.setForeground(headerColor);
    }
    QTextCharFormat regular = title;
    regular.setFontPointSize(10);
    regular.setFontWeight(QFont::Normal);

    cursor.setBlockCharFormat(title);
    cursor.insertText(QString::fromLatin1(ResultTitle), title);
    cursor.insertBlock(QTextBlockFormat(), regular);
    cursor.insertText(QString::fromLatin1(ResultVersion), regular);
    cursor.insertBlock(QTextBlockFormat(), regular);
    cursor.insertBlock(QTextBlockFormat(), regular);
    cursor.insertBlock(QTextBlockFormat(), regular);
    AppendDocument(target, body, bodyColor);
}
