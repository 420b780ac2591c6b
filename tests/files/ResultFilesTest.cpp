// Path composition, address normalisation, file loading and saving, and the result document.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "common/Errors.h"
#include "common/TX_Net.h"
#include "files/ResultFiles.h"
#include "files/Rtf.h"
#include "support/FullDisk.h"
#include "support/TestSupport.h"

namespace {

QString ErrorOf(const std::function<void()> &call) {
    try {
        call();
    } catch (const TxError &error) {
        return error.Message();
    }
    return QStringLiteral("<no error>");
}

QTextCharFormat FormatOfBlock(const QTextDocument &document, int block) {
    const QTextBlock b = document.findBlockByNumber(block);
    QTextCursor cursor(b);
    cursor.movePosition(QTextCursor::NextCharacter);
    return cursor.charFormat();
}

}  // namespace

TEST(ResultPaths, SavePathGetsResultAndExtension) {
    struct Case {
        const char *folder;
        const char *name;
        const char *path;
    } cases[] = {
        {"/data/out", "", "/data/out/Result.rtf"},
        {"/data/out/", "", "/data/out/Result.rtf"},
        {"/data/out", "run1", "/data/out/run1.rtf"},
        {"/data/out", "run1.rtf", "/data/out/run1.rtf"},
        {"/data/out", "run1.RTF", "/data/out/run1.RTF.rtf"},
        {"/data/old.rtf", "run1", "/data/old.rtf/run1"},
        {"/data/out", "a.rtf.bak", "/data/out/a.rtf.bak"},
        {"/data/out", "notes.txt", "/data/out/notes.txt.rtf"},
        {"/", "x", "/x.rtf"},
        {"", "run1", ""},
        {"", "", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.folder) + " | " + c.name);
        EXPECT_EQ(
            ComposeSavePath(QString::fromUtf8(c.folder), QString::fromUtf8(c.name)).toStdString(),
            c.path);
    }
}

TEST(ResultPaths, LoadPathTakesTheNameAsItStands) {
    struct Case {
        const char *folder;
        const char *name;
        const char *path;
    } cases[] = {
        {"/data/in", "list.txt", "/data/in/list.txt"},
        {"/data/in/", "list.txt", "/data/in/list.txt"},
        {"/data/in", "", "/data/in/"},
        {"/data/in", "LIST.TXT", "/data/in/LIST.TXT"},
        {"", "list.txt", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.folder) + " | " + c.name);
        EXPECT_EQ(
            ComposeLoadPath(QString::fromUtf8(c.folder), QString::fromUtf8(c.name)).toStdString(),
            c.path);
    }
}

TEST(ResultPaths, TypedPathsAreMadeAbsoluteAndClean) {
    const ScopedHome home;
    const QString h = home.Path();
    const struct {
        QString typed;
        QString base;
        QString path;
    } cases[] = {
        {"/data/in/list.txt", "/elsewhere", "/data/in/list.txt"},
        {"  /data/in/ ", "/elsewhere", "/data/in"},
        {"/data/./in//sub/../list.txt", "", "/data/in/list.txt"},
        {"list.txt", "/data/in", "/data/in/list.txt"},
        {"../out", "/data/in", "/data/out"},
        {"list.txt", "", h + "/list.txt"},
        {"~", "/data", h},
        {"~/lists/a.txt", "/data", h + "/lists/a.txt"},
        {"~other/a.txt", "/data", "/data/~other/a.txt"},
        {"\"/data/my lists/a.txt\"", "", "/data/my lists/a.txt"},
        {"'/data/my lists'", "", "/data/my lists"},
        {"\"/data/half", "/x", "/x/\"/data/half"},
        {"file:///data/my%20lists/a.txt", "", "/data/my lists/a.txt"},
        {"FILE:///data", "", "/data"},
        {"http://127.0.0.1/list.txt", "/data", ""},
        {"c:/data", "/x", "/x/c:/data"},
        {"", "/data", ""},
        {"   ", "/data", ""},
        {"\"\"", "/data", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        EXPECT_EQ(ResolveTypedPath(c.typed, c.base).toStdString(), c.path.toStdString());
    }
}

TEST(AddressLists, NormalisationRemovesSchemesAndWww) {
    struct Case {
        const char *in;
        const char *out;
    } cases[] = {
        {"https://www.example.com/path/page", "example.com/path/page"},
        {"HTTP://Example.com:8080/x", "Example.com:8080/x"},
        {"HtTpS://WWW.Example.com", "Example.com"},
        {"mywww.site.org", "mysite.org"},
        {"hthttps://tp://host", "host"},  // "https://" goes first, which makes a new "http://"
        {"127.0.0.1", "127.0.0.1"},
        {"  spaced host  ", "  spaced host  "},
        {"a\r\n\r\nhttps://b\r\nwww.c\r\n", "a\r\n\r\nb\r\nc\r\n"},
        {"ftp://files.example", "ftp://files.example"},
        {"", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(NormaliseAddresses(QString::fromUtf8(c.in)).toStdString(), c.out);
    }
}

TEST(AddressLists, LinesKeepEmptyLines) {
    struct Case {
        const char *text;
        QStringList lines;
    } cases[] = {
        {"", {}},
        {"alpha", {"alpha"}},
        {"alpha\r\nbeta\r\n", {"alpha", "beta"}},
        {"alpha\n\nbeta", {"alpha", "", "beta"}},
        {"alpha\rbeta", {"alpha", "beta"}},
        {"\r\n", {""}},
        {"alpha\r\n\r\n", {"alpha", ""}},
        {"\n\nx", {"", "", "x"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TextLines(QString::fromUtf8(c.text)), c.lines);
    }
}

TEST(AddressLists, PlainTextIsUtf8OrLatin1) {
    EXPECT_EQ(DecodePlainText("caf\xC3\xA9"), QStringLiteral("caf\u00e9"));
    EXPECT_EQ(DecodePlainText("\xEF\xBB\xBFhost"), QStringLiteral("host"));
    EXPECT_EQ(DecodePlainText("caf\xE9"), QStringLiteral("caf\u00e9"));
}

class ResultFileIo : public ::testing::Test {
  protected:
    QString Path(const QString &name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

TEST_F(ResultFileIo, LoadsRtfAsRichTextAndAnythingElseAsPlainText) {
    WriteBytes(Path("list.txt"), "https://alpha.example\r\n{\\rtf1 not at start}\r\n");
    WriteBytes(Path("list.rtf"),
               "{\\rtf1\\ansi {\\colortbl;\\red255\\green0\\blue0;}\\cf1 red\\par plain}");
    QTextDocument document;
    LoadDocumentFile(Path("list.txt"), &document);
    EXPECT_EQ(document.toPlainText().toStdString(),
              "https://alpha.example\n{\\rtf1 not at start}\n");
    LoadDocumentFile(Path("list.rtf"), &document);
    EXPECT_EQ(document.toPlainText().toStdString(), "red\nplain");
    EXPECT_EQ(FormatOfBlock(document, 0).foreground().color(), QColor(255, 0, 0));
}

TEST_F(ResultFileIo, UnreadableFilesRaiseAndChangeNothing) {
    QTextDocument document;
    document.setPlainText(QStringLiteral("kept"));
    const QString missing = Path("missing.txt");
    EXPECT_EQ(ErrorOf([&] { LoadDocumentFile(missing, &document); }),
              QStringLiteral("Cannot open file \"%1\". No such file or directory").arg(missing));
    EXPECT_EQ(ErrorOf([&] { LoadDocumentFile(dir_.path() + "/", &document); }),
              QStringLiteral("Cannot open file \"%1/\". It is a folder.").arg(dir_.path()));
    EXPECT_EQ(document.toPlainText(), QStringLiteral("kept"));
}

TEST_F(ResultFileIo, SavingReplacesTheFileAndReportsFailures) {
    QTextDocument document;
    document.setPlainText(QStringLiteral("first"));
    const QString path = Path("out.rtf");
    SaveRtfFile(path, document);
    document.setPlainText(QStringLiteral("second"));
    SaveRtfFile(path, document);
    QTextDocument back;
    LoadDocumentFile(path, &back);
    EXPECT_EQ(back.toPlainText(), QStringLiteral("second"));

    const QString badFolder = Path("no/such/folder/out.rtf");
    const QString error = ErrorOf([&] { SaveRtfFile(badFolder, document); });
    EXPECT_TRUE(error.startsWith(QStringLiteral("Cannot create file \"%1\". ").arg(badFolder)))
        << error.toStdString();
    EXPECT_GT(error.size(), QStringLiteral("Cannot create file \"%1\". ").arg(badFolder).size());
    EXPECT_FALSE(QFile::exists(badFolder));

    // A folder in the way: the folder stays a folder.
    QDir(dir_.path()).mkdir(QStringLiteral("taken.rtf"));
    EXPECT_TRUE(ErrorOf([&] {
                    SaveRtfFile(Path("taken.rtf"), document);
                }).startsWith(QStringLiteral("Cannot create file")));
    EXPECT_TRUE(QFileInfo(Path("taken.rtf")).isDir());
}

// Saving results as RTF, CSV or JSON over a good file on a full disk: the good file stays and the
// message says why, for content that fits a write buffer and for content that does not.
TEST(ResultFilesOnAFullDisk, KeepTheOldFileAndSayWhy) {
    TFullDisk disk(200 * 1024);
    if (!disk.Problem().isEmpty()) {
        GTEST_SKIP() << disk.Problem().toStdString();
    }
    const QByteArray good = "{\\rtf1 good results}";
    const QStringList names = {QStringLiteral("a.rtf"), QStringLiteral("a.csv"),
                               QStringLiteral("a.json")};
    for (const QString &name : names) {
        WriteBytes(disk.FilePath(name), good);
    }
    disk.Fill();
    QTextDocument small;
    small.setPlainText(QStringLiteral("Reply from 127.0.0.1"));
    QTextDocument large;
    large.setPlainText(QString(300 * 1024, QLatin1Char('r')));
    const QString reason = QStringLiteral("No space left on device");
    for (const QTextDocument *document : {&small, &large}) {
        const QString rtf = disk.FilePath(names[0]);
        EXPECT_EQ(ErrorOf([&] { SaveRtfFile(rtf, *document); }),
                  QStringLiteral("Cannot create file \"%1\". %2").arg(rtf, reason));
        for (const QString &name : names.mid(1)) {
            const QString path = disk.FilePath(name);
            EXPECT_EQ(ErrorOf([&] { SaveBytesFile(path, document->toPlainText().toUtf8()); }),
                      QStringLiteral("Cannot create file \"%1\". %2").arg(path, reason));
        }
        for (const QString &name : names) {
            EXPECT_EQ(ReadBytes(disk.FilePath(name)), good) << name.toStdString();
        }
    }
}

TEST_F(ResultFileIo, AddressListsAreReadWithinTheirLimits) {
    const QByteArray longest(kAddressMaxLength, 'a');
    const QByteArray tooLong(kAddressMaxLength + 1, 'b');
    // Characters are counted, not bytes: "é" takes two bytes in UTF-8.
    const QByteArray longestAccented = QString(kAddressMaxLength, QChar(0xE9)).toUtf8();
    // Exactly the largest file read.
    const QByteArray largest = (QByteArray(1023, 'z') + '\n').repeated(kAddressListMaxBytes / 1024);
    const QString listError = QStringLiteral("Cannot load the address list \"%1\". %2");
    const struct Case {
        const char *name;
        QByteArray bytes;
        QStringList lines;  // expected when `error` is empty
        QString error;      // %1 stands for the file's path
        QString asRead;     // the text the document takes; the lines joined when empty
    } cases[] = {
        {"normal.txt",
         "https://www.alpha.example\r\nHTTP://beta.example:8080/x\r\n127.0.0.1\r\n",
         {"alpha.example", "beta.example:8080/x", "127.0.0.1"},
         {},
         "https://www.alpha.example\nHTTP://beta.example:8080/x\n127.0.0.1\n"},
        {"blank.txt", "a\r\n\r\n\r\nb\n\nc\rd", {"a", "", "", "b", "", "c", "d"}, {}, {}},
        {"empty.txt", "", {}, {}, {}},
        {"list.rtf",
         "{\\rtf1\\ansi https://alpha.example\\par www.beta.example}",
         {"alpha.example", "beta.example"},
         {},
         "https://alpha.example\nwww.beta.example"},
        {"longest.txt", "x\n" + longest, {"x", longest}, {}, {}},
        {"accented.txt", longestAccented, {QString::fromUtf8(longestAccented)}, {}, {}},
        {"too-long.txt",
         "a\r\n\r\n" + tooLong + "\r\nb\r\n",
         {},
         listError.arg("%1", "Line 3 is longer than 2048 characters."),
         {}},
        {"too-long-last.txt",
         "a\r" + longest + "\r" + tooLong,
         {},
         listError.arg("%1", "Line 3 is longer than 2048 characters."),
         {}},
        {"too-long.rtf",
         "{\\rtf1 host\\par " + tooLong + "}",
         {},
         listError.arg("%1", "Line 2 is longer than 2048 characters."),
         {}},
        {"largest.txt", largest, QStringList(1024, QString(1023, 'z')), {}, largest},
        {"too-large.txt",
         QByteArray(kAddressListMaxBytes + 1, '\n'),
         {},
         listError.arg("%1", "The file is larger than 1 MiB."),
         {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Path(QString::fromLatin1(c.name));
        WriteBytes(path, c.bytes);
        QTextDocument document;
        document.setPlainText(QStringLiteral("kept"));
        if (!c.error.isEmpty()) {
            EXPECT_EQ(ErrorOf([&] { ReadAddressList(path, &document); }).toStdString(),
                      c.error.arg(path).toStdString());
            EXPECT_EQ(document.toPlainText(), QStringLiteral("kept"));
            continue;
        }
        const QStringList lines = ReadAddressList(path, &document);
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(document.toPlainText(), c.asRead.isEmpty() ? c.lines.join('\n') : c.asRead);
        EXPECT_EQ(ReadAddressList(path), c.lines);  // the same without a document
    }
}

TEST_F(ResultFileIo, AddressListsTooLargeOrMissingAreRefusedUnread) {
    // A 50 MB file, sparse so that the test writes nothing: refused by its size, before it is
    // read. A device without end: refused once it has given more than the limit.
    const QString huge = Path("huge.txt");
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(50 * kMiB));
    }
    const QString missing = Path("missing.txt");
    const struct {
        QString path;
        QString error;
    } cases[] = {
        {huge, QStringLiteral("Cannot load the address list \"%1\". The file is larger than 1 MiB.")
                   .arg(huge)},
        {QStringLiteral("/dev/zero"),
         QStringLiteral(
             "Cannot load the address list \"/dev/zero\". The file is larger than 1 MiB.")},
        {missing,
         QStringLiteral("Cannot open file \"%1\". No such file or directory").arg(missing)},
        {dir_.path(), QStringLiteral("Cannot open file \"%1\". It is a folder.").arg(dir_.path())},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        QTextDocument document;
        document.setPlainText(QStringLiteral("kept"));
        EXPECT_EQ(ErrorOf([&] { ReadAddressList(c.path, &document); }).toStdString(),
                  c.error.toStdString());
        EXPECT_EQ(document.toPlainText(), QStringLiteral("kept"));
    }
}

class ResultDocument : public ::testing::Test {
  protected:
    void SetUp() override {
        body_.setDefaultFont(QFont(QStringLiteral("DejaVu Sans"), 8));
        QTextCursor cursor(&body_);
        QTextCharFormat red;
        red.setForeground(QColor(255, 0, 0));
        red.setFontWeight(QFont::Bold);
        cursor.insertText(QStringLiteral("Pinging alpha"), red);
        cursor.insertBlock();
        cursor.insertText(QStringLiteral("Reply line"), QTextCharFormat());
        BuildResultDocument(&result_, body_, QStringLiteral("Liberation Sans"),
                            QColor(160, 160, 160), QColor(100, 100, 100));
    }

    QTextDocument body_;
    QTextDocument result_;
};

TEST_F(ResultDocument, TitleBlockThenTheBody) {
    EXPECT_EQ(result_.toPlainText().toStdString(),
              "TARVEX REPORT\nversion 1.0.0.1\n\n\nPinging alpha\nReply line");
    const QTextCharFormat title = FormatOfBlock(result_, 0);
    EXPECT_EQ(title.fontPointSize(), 14.0);
    EXPECT_EQ(title.fontWeight(), QFont::Bold);
    EXPECT_EQ(title.fontFamilies().toStringList(), QStringList{QStringLiteral("Liberation Sans")});
    EXPECT_EQ(title.foreground().color(), QColor(160, 160, 160));
    const QTextCharFormat version = FormatOfBlock(result_, 1);
    EXPECT_EQ(version.fontPointSize(), 10.0);
    EXPECT_EQ(version.fontWeight(), QFont::Normal);
    EXPECT_EQ(version.foreground().color(), QColor(160, 160, 160));
    const QTextCharFormat pinging = FormatOfBlock(result_, 4);
    EXPECT_EQ(pinging.foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(pinging.fontWeight(), QFont::Bold);
    EXPECT_EQ(pinging.font().family(), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(pinging.fontPointSize(), 8.0);
    const QTextCharFormat reply = FormatOfBlock(result_, 5);
    EXPECT_EQ(reply.foreground().color(), QColor(100, 100, 100));
    EXPECT_EQ(reply.fontWeight(), QFont::Normal);
    // The body is copied, not moved.
    EXPECT_EQ(body_.toPlainText().toStdString(), "Pinging alpha\nReply line");
}

TEST_F(ResultDocument, FileKeepsTitleColoursAndOpensInUnrtf) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Result.rtf"));
    SaveRtfFile(path, result_);
    QTextDocument back;
    LoadDocumentFile(path, &back);
    EXPECT_EQ(back.toPlainText(), result_.toPlainText());
    EXPECT_EQ(FormatOfBlock(back, 0).fontPointSize(), 14.0);
    EXPECT_EQ(FormatOfBlock(back, 0).fontWeight(), QFont::Bold);
    EXPECT_EQ(FormatOfBlock(back, 4).foreground().color(), QColor(255, 0, 0));

    if (QStandardPaths::findExecutable(QStringLiteral("unrtf")).isEmpty()) {
        GTEST_SKIP() << "unrtf is not installed";
    }
    QProcess unrtf;
    unrtf.start(QStringLiteral("unrtf"), {QStringLiteral("--text"), path});
    ASSERT_TRUE(unrtf.waitForFinished(60000));
    const QString text = QString::fromUtf8(unrtf.readAllStandardOutput());
    const qsizetype title = text.indexOf(QStringLiteral("TARVEX REPORT"));
    const qsizetype version = text.indexOf(QStringLiteral("version 1.0.0.1"));
    const qsizetype body = text.indexOf(QStringLiteral("Pinging alpha"));
    EXPECT_GE(title, 0) << text.toStdString();
    EXPECT_GT(version, title);
    EXPECT_GT(body, version);
    EXPECT_GT(text.indexOf(QStringLiteral("Reply line")), body);
}
