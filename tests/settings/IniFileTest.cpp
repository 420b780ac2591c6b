#include "settings/IniFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <optional>

#include "common/Errors.h"
#include "support/TestSupport.h"

namespace {

// One write of one entry: the file before, the entry, the file after.
struct WriteCase {
    const char *name;
    std::optional<QByteArray> before;  // no value: no file
    const char *section;
    const char *key;
    QString value;
    QByteArray after;
};

TEST(IniWrite, ProfileSemantics) {
    const WriteCase cases[] = {
        {"missing file is created", std::nullopt, "PING SYSTEM SETTINGS", "Time Out", "4000",
         "[PING SYSTEM SETTINGS]\nTime Out=4000\n"},
        {"empty file", QByteArray(""), "A", "x", "1", "[A]\nx=1\n"},
        {"replace in place", QByteArray("[PING SYSTEM SETTINGS]\nTime Out=2500\nTTL=64\n"),
         "PING SYSTEM SETTINGS", "Time Out", "4000",
         "[PING SYSTEM SETTINGS]\nTime Out=4000\nTTL=64\n"},
        {"other letter case", QByteArray("[ping system settings]\ntime out=2500\n"),
         "PING SYSTEM SETTINGS", "Time Out", "4000", "[ping system settings]\ntime out=4000\n"},
        {"blanks around = and the name", QByteArray("[ A ]\n  Time Out = 2500  \n"), "A",
         "Time Out", "4000", "[ A ]\n  Time Out = 4000\n"},
        {"append to its section, before the blank line", QByteArray("[A]\nx=1\n\n[B]\ny=2\n"), "A",
         "z", "3", "[A]\nx=1\nz=3\n\n[B]\ny=2\n"},
        {"append to a section at the end of the file", QByteArray("[A]\nx=1\n\n\n"), "A", "z", "3",
         "[A]\nx=1\nz=3\n\n\n"},
        {"append a missing section", QByteArray("[A]\nx=1\n"), "B", "y", "2",
         "[A]\nx=1\n\n[B]\ny=2\n"},
        {"all other lines kept",
         QByteArray("; made by hand\n[SERVICES]\nWhois Server=127.0.0.1:4343\n\n[A]\n; note\nx=1\n"
                    "not an entry\n[Z]\nq=9\n"),
         "A", "x", "5",
         "; made by hand\n[SERVICES]\nWhois Server=127.0.0.1:4343\n\n[A]\n; note\nx=5\n"
         "not an entry\n[Z]\nq=9\n"},
        {"CR LF line ends kept", QByteArray("[A]\r\nx=1\r\n"), "A", "y", "2",
         "[A]\r\nx=1\r\ny=2\r\n"},
        {"Latin-1 file rewritten as UTF-8", QByteArray("[A]\nname=Caf\xe9\n"), "A", "x", "1",
         "[A]\nname=Caf\xc3\xa9\nx=1\n"},
        {"byte-order mark dropped", QByteArray("\xEF\xBB\xBF[A]\nx=1\n"), "A", "x", "2",
         "[A]\nx=2\n"},
        {"UTF-16 file rewritten as UTF-8",
         QByteArray("\xFF\xFE[\0A\0]\0\r\0\n\0k\0=\0\xe9\0\r\0\n\0", 22), "A", "x", "1",
         "[A]\r\nk=\xc3\xa9\r\nx=1\r\n"},
        {"no final line end", QByteArray("[A]\nx=1"), "A", "x", "2", "[A]\nx=2\n"},
        {"lone CR line ends kept", QByteArray("[A]\rx=1\r"), "A", "y", "2", "[A]\rx=1\ry=2\r"},
        // Lone CR ends stand after the last LF only; an LF among them would join them into one
        // line on the next read.
        {"a line added among lone CR ends ends with CR", QByteArray("[A]\nx=1\r[B]\ry=2\r"), "A",
         "z", "3", "[A]\nx=1\rz=3\r[B]\ry=2\r"},
        {"last line after lone CR ends gets a CR", QByteArray("[A]\nx=1\ry=2"), "A", "x", "5",
         "[A]\nx=5\ry=2\r"},
        {"each line keeps its own end", QByteArray("[A]\r\nx=1\n; note\r\n"), "A", "x", "2",
         "[A]\r\nx=2\n; note\r\n"},
        {"a CR inside another line kept", QByteArray("[A]\nk=ab\rcd\nx=1\n"), "A", "x", "2",
         "[A]\nk=ab\rcd\nx=2\n"},
        {"the value of a line holding a CR rewritten", QByteArray("[A]\nk=ab\rcd\n"), "A", "k",
         "ab cd", "[A]\nk=ab cd\n"},
        {"first of two equal keys", QByteArray("[A]\nx=1\nX=2\n"), "A", "x", "3",
         "[A]\nx=3\nX=2\n"},
        {"a longer key is another key", QByteArray("[A]\nTime Out Extra=1\n"), "A", "Time Out", "2",
         "[A]\nTime Out Extra=1\nTime Out=2\n"},
        {"entries before any section belong to none", QByteArray("x=1\n[A]\n"), "A", "x", "2",
         "x=1\n[A]\nx=2\n"},
        {"a commented key is no key", QByteArray("[A]\n;x=1\n"), "A", "x", "2", "[A]\n;x=1\nx=2\n"},
        {"empty value", QByteArray("[GOOGLE MAPS ID]\nGoogle Maps Key=abc\n"), "GOOGLE MAPS ID",
         "Google Maps Key", "", "[GOOGLE MAPS ID]\nGoogle Maps Key=\n"},
        {"value text written unchanged", std::nullopt, "M", "Key",
         QStringLiteral("a=b;c [d] \u00e9"), "[M]\nKey=a=b;c [d] \xc3\xa9\n"},
    };
    for (const WriteCase &c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Tarvex.ini"));
        if (c.before) {
            WriteBytes(path, *c.before);
        }
        WriteProfileString(path, QString::fromLatin1(c.section), QString::fromLatin1(c.key),
                           c.value);
        EXPECT_EQ(ReadBytes(path), c.after) << c.name;
    }
}

TEST(IniWrite, FailuresNameTheFileAndChangeNothing) {
    QTemporaryDir dir;
    const QString inMissingFolder = dir.filePath(QStringLiteral("System/Tarvex.ini"));
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("Folder.ini"))));
    WriteBytes(dir.filePath(QStringLiteral("NotAFolder")), "x");
    const QString underAFile = dir.filePath(QStringLiteral("NotAFolder/Tarvex.ini"));
    const QString aFolder = dir.filePath(QStringLiteral("Folder.ini"));

    for (const QString &path : {inMissingFolder, underAFile, aFolder}) {
        try {
            WriteProfileString(path, QStringLiteral("A"), QStringLiteral("x"), QStringLiteral("1"));
            ADD_FAILURE() << "no error for " << path.toStdString();
        } catch (const TxError &error) {
            // The path, then the system's reason.
            const QString prefix =
                QStringLiteral("Unable to write to ") + path + QStringLiteral(": ");
            EXPECT_TRUE(error.Message().startsWith(prefix)) << error.Message().toStdString();
            EXPECT_GT(error.Message().size(), prefix.size()) << error.Message().toStdString();
        }
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("System"))));
    EXPECT_TRUE(QFileInfo(aFolder).isDir());
    EXPECT_EQ(ReadBytes(dir.filePath(QStringLiteral("NotAFolder"))), QByteArray("x"));
}

TEST(IniWrite, TextsThatWouldBreakTheFileAreRefused) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Tarvex.ini"));
    const QByteArray before("[A]\nx=1\n");
    WriteBytes(path, before);
    const struct {
        const char *section;
        const char *key;
        const char *value;
    } bad[] = {
        {"A", "x", "1\n[B]\ny=2"}, {"A", "x", "1\r"}, {"A]", "x", "1"},
        {"A", "x=y", "1"},         {"", "x", "1"},    {"A", "", "1"},
        {"A", ";x", "1"},
    };
    for (const auto &b : bad) {
        EXPECT_THROW(WriteProfileString(path, QString::fromLatin1(b.section),
                                        QString::fromLatin1(b.key), QString::fromLatin1(b.value)),
                     TxError)
            << b.section << "/" << b.key;
    }
    EXPECT_EQ(ReadBytes(path), before);
}

struct ReadCase {
    const char *name;
    QByteArray content;
    const char *section;
    const char *key;
    QString expected;  // "<default>" when the default comes back
};

TEST(IniRead, ProfileSemantics) {
    const QString kDefault = QStringLiteral("<default>");
    const ReadCase cases[] = {
        {"plain", "[A]\nx=1\n", "A", "x", "1"},
        {"other letter case", "[ping system settings]\ntime out=2500\n", "PING SYSTEM SETTINGS",
         "Time Out", "2500"},
        {"blanks around = and in the header", "[ A ]\n\t x  =  7 \n", "A", "x", "7"},
        {"blank lines between sections", "[A]\nx=1\n\n\n[B]\n\ny=2\n\n", "B", "y", "2"},
        {"missing key", "[A]\nx=1\n", "A", "y", kDefault},
        {"missing section", "[A]\nx=1\n", "B", "x", kDefault},
        {"key of another section", "[A]\n[B]\nx=1\n", "A", "x", kDefault},
        {"empty value is not the default", "[A]\nx=\n", "A", "x", ""},
        {"first of two sections of one name", "[A]\nx=1\n[a]\nx=2\n", "A", "x", "1"},
        {"comment line", "[A]\n;x=1\n", "A", "x", kDefault},
        {"CR LF", "[A]\r\nx=1\r\n", "A", "x", "1"},
        {"byte-order mark", "\xEF\xBB\xBF[A]\nx=1\n", "A", "x", "1"},
        {"UTF-8", "[A]\nx=\xc3\xa9t\xc3\xa9\n", "A", "x", QStringLiteral("\u00e9t\u00e9")},
        {"Latin-1", "[A]\nx=\xe9t\xe9\n", "A", "x", QStringLiteral("\u00e9t\u00e9")},
        {"UTF-16 LE", QByteArray("\xFF\xFE[\0A\0]\0\r\0\n\0x\0=\0\xe9\0\r\0\n\0", 22), "A", "x",
         QStringLiteral("\u00e9")},
        {"UTF-16 BE", QByteArray("\xFE\xFF\0[\0A\0]\0\n\0x\0=\0\xe9\0\n", 18), "A", "x",
         QStringLiteral("\u00e9")},
        // Half a surrogate pair cannot be saved as UTF-8: it reads as the replacement character.
        {"UTF-16 with half a surrogate pair",
         QByteArray("\xFF\xFE[\0A\0]\0\n\0x\0=\0\x00\xD8\n\0", 18), "A", "x",
         QStringLiteral("\ufffd")},
        {"value holding =", "[A]\nx=a=b\n", "A", "x", "a=b"},
        {"double quotes", "[A]\nTime Out=\"2500\"\n", "A", "Time Out", "2500"},
        {"single quotes", "[A]\nx='2500'\n", "A", "x", "2500"},
        {"blanks outside quotes go, inside stay", "[A]\nx =  \" a b \"  \n", "A", "x", " a b "},
        {"empty quotes", "[A]\nx=\"\"\n", "A", "x", ""},
        {"only one pair removed", "[A]\nx=\"\"a\"\"\n", "A", "x", "\"a\""},
        {"unmatched quotes kept", "[A]\nx=\"a'\n", "A", "x", "\"a'"},
        {"opening quote only", "[A]\nx=\"abc\n", "A", "x", "\"abc"},
        {"closing quote only", "[A]\nx=abc\"\n", "A", "x", "abc\""},
        {"a lone quote", "[A]\nx=\"\n", "A", "x", "\""},
        {"quotes inside", "[A]\nx=a \"b\" c\n", "A", "x", "a \"b\" c"},
        {"lone CR line ends", "[A]\rx=1\ry=2\r", "A", "y", "2"},
        {"lone CR after the last LF ends lines", "[B]\nq=1\n[A]\rx=1\ry=2", "A", "y", "2"},
        {"lone CR before a LF stays in the line", "[A]\nx=ab\rcd\ny=2\n", "A", "x", "ab cd"},
        {"CR before a LF belongs to the line end", "[A]\nx=ab\r\n", "A", "x", "ab"},
        {"first of two equal keys", "[A]\nx=1\nX=2\n", "A", "x", "1"},
        {"keys before any section belong to none", "x=1\n[A]\ny=2\n", "A", "x", kDefault},
        {"blanks around the key", "[A]\n   Time Out   =4\n", "A", " time out ", "4"},
    };
    for (const ReadCase &c : cases) {
        const TIniText text = TIniText::FromBytes(c.content);
        EXPECT_EQ(
            text.ReadString(QString::fromLatin1(c.section), QString::fromLatin1(c.key), kDefault),
            c.expected)
            << c.name;
    }
}

TEST(IniRead, LongValuesAreCutAndMissingFilesGiveTheDefault) {
    const TIniText text = TIniText::FromBytes("[A]\nx=" + QByteArray(5000, 'v') + "\n");
    EXPECT_EQ(text.ReadString(QStringLiteral("A"), QStringLiteral("x"), QString()),
              QString(TIniText::kMaxValueLength, QLatin1Char('v')));

    QTemporaryDir dir;
    EXPECT_EQ(ReadProfileString(dir.filePath(QStringLiteral("none.ini")), QStringLiteral("A"),
                                QStringLiteral("x"), QStringLiteral("dflt")),
              QStringLiteral("dflt"));
}

TEST(IniRead, SectionEntriesInFileOrder) {
    const TIniText text = TIniText::FromBytes(
        "[SERVICES]\nWhois Server = 127.0.0.1:4343\n; off\nnot an entry\nMail To=a@b\n[X]\nq=1\n");
    const QVector<QPair<QString, QString>> expected = {
        {QStringLiteral("Whois Server"), QStringLiteral("127.0.0.1:4343")},
        {QStringLiteral("Mail To"), QStringLiteral("a@b")},
    };
    EXPECT_EQ(text.SectionEntries(QStringLiteral("services")), expected);
    EXPECT_TRUE(text.SectionEntries(QStringLiteral("none")).isEmpty());
}

}  // namespace
