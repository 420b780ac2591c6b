// RTF reader and writer: documents in the styles of common word processors, damaged documents,
// and round trips through our own writer and through unrtf.
#include <gtest/gtest.h>

#include <QFile>
#include <QPageLayout>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>

#include "files/Rtf.h"
#include "support/TestSupport.h"

namespace {

QByteArray Fixture(const QString &name) {
    QFile file(SourcePath(QStringLiteral("tests/files/fixtures/rtf/") + name));
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "missing fixture " << name.toStdString();
        return QByteArray();
    }
    return file.readAll();
}

QString ReadText(const QByteArray &rtf) {
    QTextDocument document;
    ReadRtf(rtf, &document);
    // Raw text keeps no-break spaces and line breaks (U+2028) as they are.
    return document.toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}

// One character with the formats a pane cares about.
struct StyledChar {
    QChar character;
    QString family;
    double points = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    QColor color;

    bool operator==(const StyledChar &o) const {
        return character == o.character && family == o.family && points == o.points &&
               bold == o.bold && italic == o.italic && underline == o.underline && color == o.color;
    }
};

std::ostream &operator<<(std::ostream &out, const StyledChar &c) {
    return out << "'" << QString(c.character).toStdString() << "' " << c.family.toStdString() << " "
               << c.points << (c.bold ? " b" : "") << (c.italic ? " i" : "")
               << (c.underline ? " u" : "") << " " << c.color.name().toStdString();
}

std::vector<StyledChar> Styled(const QTextDocument &document) {
    std::vector<StyledChar> out;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block != document.begin()) {
            out.push_back({QChar('\n'), {}, 0, false, false, false, {}});
        }
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            const QFont font = format.font().resolve(document.defaultFont());
            for (const QChar c : fragment.text()) {
                StyledChar styled;
                styled.character = c;
                styled.family = font.family();
                styled.points = font.pointSizeF();
                styled.bold = font.weight() >= QFont::DemiBold;
                styled.italic = font.italic();
                styled.underline = font.underline();
                if (format.foreground().style() != Qt::NoBrush) {
                    styled.color = format.foreground().color();
                }
                out.push_back(styled);
            }
        }
    }
    return out;
}

// The format of the first character of `needle` in the document.
QTextCharFormat FormatAt(QTextDocument &document, const QString &needle) {
    const QTextCursor found = document.find(needle);
    EXPECT_FALSE(found.isNull()) << needle.toStdString();
    QTextCursor at(&document);
    at.setPosition(found.selectionStart() + 1);
    return at.charFormat();
}

// What unrtf makes of a file, as plain text with white space runs folded (its text output
// wraps lines). The HTML output is read back because only it carries characters outside
// Latin-1.
QString Unrtf(const QString &path, bool html) {
    QProcess process;
    process.start(QStringLiteral("unrtf"),
                  {html ? QStringLiteral("--html") : QStringLiteral("--text"), path});
    EXPECT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    const QByteArray out = process.readAllStandardOutput();
    if (!html) {
        return QString::fromLatin1(out).simplified();
    }
    QTextDocument page;
    page.setHtml(QString::fromUtf8(out));
    return page.toPlainText().simplified();
}

}  // namespace

TEST(RtfRead, WordProcessorDocumentsGiveTheirText) {
    struct Case {
        const char *file;
        QString text;
    } cases[] = {
        {"wordpad.rtf", QStringLiteral("Hello W\u00f6rld!\nBig italic and underlined\n"
                                       "Tab\tStop \u2014 end\u2028next")},
        {"word.rtf", QStringLiteral("Na\u00efve caf\u00e9 \u20ac and \u042f\u0431\n"
                                    "a linkafter \u201cq\u201d")},
        {"libreoffice.rtf",
         QStringLiteral("Plain line\nGreen bold \u041f\u0440\u0438\u0432\u0435\u0442\nSmile ") +
             QString::fromUtf8("\xF0\x9F\x98\x80") + QStringLiteral(" done")},
        {"textedit.rtf", QStringLiteral("Caf\u00e9 costs 3 \u20ac today\nmono text\nlast line")},
        {"cyrillic.rtf", QStringLiteral("\u041f\u0440\u0438\u0432\u0435\u0442 \u043c\u0438\u0440")},
        {"shiftjis.rtf", QStringLiteral("\u3042\u3044\u30a2 caf\u00e9")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(ReadText(Fixture(QString::fromLatin1(c.file))).toStdString(),
                  c.text.toStdString());
    }
}

TEST(RtfRead, WordProcessorDocumentsKeepTheirFormats) {
    QTextDocument wordpad;
    ReadRtf(Fixture(QStringLiteral("wordpad.rtf")), &wordpad);
    const QTextCharFormat hello = FormatAt(wordpad, QStringLiteral("Hello"));
    EXPECT_EQ(hello.fontFamilies().toStringList(), QStringList{QStringLiteral("Calibri")});
    EXPECT_EQ(hello.fontPointSize(), 11.0);
    EXPECT_EQ(hello.fontWeight(), QFont::Normal);
    EXPECT_EQ(hello.foreground().style(), Qt::NoBrush);
    const QTextCharFormat world = FormatAt(wordpad, QStringLiteral("W\u00f6rld"));
    EXPECT_EQ(world.fontWeight(), QFont::Bold);
    EXPECT_EQ(world.foreground().color(), QColor(255, 0, 0));
    const QTextCharFormat big = FormatAt(wordpad, QStringLiteral("Big"));
    EXPECT_EQ(big.fontFamilies().toStringList(), QStringList{QStringLiteral("Arial")});
    EXPECT_EQ(big.fontPointSize(), 14.0);
    EXPECT_TRUE(FormatAt(wordpad, QStringLiteral("italic")).fontItalic());
    EXPECT_TRUE(FormatAt(wordpad, QStringLiteral("underlined")).fontUnderline());
    EXPECT_FALSE(FormatAt(wordpad, QStringLiteral(" and")).fontUnderline());
    EXPECT_EQ(FormatAt(wordpad, QStringLiteral("Tab")).foreground().color(), QColor(0, 0, 255));
    // \line is a line break inside the paragraph, \par starts a new one.
    EXPECT_EQ(wordpad.blockCount(), 3);
    EXPECT_TRUE(wordpad.toRawText().contains(QStringLiteral("end") + QChar(0x2028) + "next"));

    QTextDocument word;
    ReadRtf(Fixture(QStringLiteral("word.rtf")), &word);
    const QTextCharFormat naive = FormatAt(word, QStringLiteral("Na"));
    EXPECT_EQ(naive.fontWeight(), QFont::Bold);
    EXPECT_EQ(naive.fontFamilies().toStringList(), QStringList{QStringLiteral("Calibri")});
    EXPECT_EQ(FormatAt(word, QStringLiteral("\u20ac")).foreground().color(), QColor(255, 0, 0));
    const QTextCharFormat link = FormatAt(word, QStringLiteral("a link"));
    EXPECT_TRUE(link.fontUnderline());
    EXPECT_EQ(link.foreground().color(), QColor(0, 0, 255));

    QTextDocument libre;
    ReadRtf(Fixture(QStringLiteral("libreoffice.rtf")), &libre);
    const QTextCharFormat green = FormatAt(libre, QStringLiteral("Green"));
    EXPECT_EQ(green.foreground().color(), QColor(0, 128, 0));
    EXPECT_EQ(green.fontWeight(), QFont::Bold);
    EXPECT_EQ(green.fontFamilies().toStringList(), QStringList{QStringLiteral("Liberation Serif")});
}

TEST(RtfRead, SkippedDestinationsLeaveNoText) {
    const QString word = ReadText(Fixture(QStringLiteral("word.rtf")));
    for (const char *hidden : {"Secret title", "Some Author", "HYPERLINK", "Normal", "Times",
                               "504b03", "0105000", "schemas", "mark", "Default Paragraph"}) {
        EXPECT_FALSE(word.contains(QLatin1String(hidden))) << hidden;
    }
    const QString libre = ReadText(Fixture(QStringLiteral("libreoffice.rtf")));
    for (const char *hidden : {"LibreOffice", "Heading", "Liberation", "Normal"}) {
        EXPECT_FALSE(libre.contains(QLatin1String(hidden))) << hidden;
    }
    EXPECT_EQ(ReadText("{\\rtf1 a{\\*\\unknown{\\nested b}c}d{\\pict\\pngblip 89504e47}e"
                       "{\\info{\\title t}}f{\\*\\ud g}}")
                  .toStdString(),
              "adefg");
}

TEST(RtfRead, EscapesAndCodePages) {
    struct Case {
        const char *rtf;
        QString text;
    } cases[] = {
        {"{\\rtf1\\ansi a\\'e9\\'80\\'9f b}", QStringLiteral("a\u00e9\u20ac\u0178 b")},
        {"{\\rtf1\\ansi\\ansicpg1251 \\'c4\\'e0}", QStringLiteral("\u0414\u0430")},
        {"{\\rtf1\\ansi\\ansicpg1250 \\'9a}", QStringLiteral("\u0161")},
        {"{\\rtf1\\ansi\\ansicpg99999 \\'e9}", QStringLiteral("\u00e9")},  // unknown: 1252
        {"{\\rtf1\\mac \\'8e}", QStringLiteral("\u00e9")},
        {"{\\rtf1 \\u233 x}", QStringLiteral("\u00e9")},  // \uc1: "x" stands in
        {"{\\rtf1\\uc0 \\u233 x}", QStringLiteral("\u00e9x")},
        {"{\\rtf1\\uc2 \\u233\\'3f\\'3fy}", QStringLiteral("\u00e9y")},
        {"{\\rtf1 {\\uc3 \\u233 abc}\\u233 zq}", QStringLiteral("\u00e9\u00e9q")},  // group-scoped
        {"{\\rtf1 \\u-3913?}", QStringLiteral("\uf0b7")},
        {"{\\rtf1 \\u233{\\b b}}", QStringLiteral("\u00e9b")},  // a brace ends the stand-ins
        {"{\\rtf1 a\\\\b\\{c\\}d}", QStringLiteral("a\\b{c}d")},
        {"{\\rtf1 a\\~b\\-c\\_d}", QStringLiteral("a\u00a0bc\u2011d")},
        {"{\\rtf1 one\\par\\par two\\par}", QStringLiteral("one\n\ntwo")},
        {"{\\rtf1 tail\\par\\par}", QStringLiteral("tail\n")},
        {"{\\rtf1 x\\bin3 \\b}y}", QStringLiteral("xy")},
        {"{\\rtf1 a\r\nb\tc}", QStringLiteral("ab\tc")},
        // Control characters are no text however they are written (the writer could not write
        // them back); the tab is text.
        {"{\\rtf1 a\\'1ab\\'06c\\'09d}", QStringLiteral("abc\td")},
        {"{\\rtf1 a\\u26?b\\u6?c\\u9?d}", QStringLiteral("abc\td")},
        {"not rtf at all", QStringLiteral("not rtf at all")},
        {"", QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.rtf);
        EXPECT_EQ(ReadText(QByteArray(c.rtf)).toStdString(), c.text.toStdString());
    }
}

TEST(RtfRead, DamagedDocumentsGiveWhatCouldBeRead) {
    struct Case {
        const char *file;
        QString text;
    } cases[] = {
        {"unclosed.rtf", QStringLiteral("first bold deeper still bold\nsecond")},
        {"extra_close.rtf", QStringLiteral("text one after  more x")},
        {"huge_numbers.rtf", QStringLiteral("big col \ufffd A")},
        {"bad_tables.rtf", QStringLiteral("cd nofont zz ")},
        {"bad_words.rtf", QStringLiteral("kept\ufffd ")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(ReadText(Fixture(QString::fromLatin1(c.file))).toStdString(),
                  c.text.toStdString());
    }
    QTextDocument document;
    ReadRtf(Fixture(QStringLiteral("huge_numbers.rtf")), &document);
    EXPECT_EQ(FormatAt(document, QStringLiteral("big")).fontPointSize(), 1638.0);
    ReadRtf(Fixture(QStringLiteral("bad_tables.rtf")), &document);
    EXPECT_EQ(FormatAt(document, QStringLiteral("c")).foreground().color(), QColor(255, 0, 255));
    EXPECT_EQ(FormatAt(document, QStringLiteral("d")).foreground().style(), Qt::NoBrush);
}

TEST(RtfRead, DeepNestingAndLongInputStayBounded) {
    const int depth = 200000;
    // Beyond the nesting limit nothing reaches the document; the text after it still does.
    QByteArray nested =
        "{\\rtf1 " + QByteArray(depth, '{') + "\\b deep" + QByteArray(depth, '}') + " out}";
    EXPECT_EQ(ReadText(nested).toStdString(), " out");
    QByteArray closers = "{\\rtf1 a" + QByteArray(depth, '}') + "b}";
    EXPECT_EQ(ReadText(closers).toStdString(), "ab");
    QByteArray longWord = "{\\rtf1 \\" + QByteArray(100000, 'x') + QByteArray(100000, '9') + " ok}";
    EXPECT_EQ(ReadText(longWord).toStdString(), "ok");
}

// A million nested groups, each changing the format and adding text: what lies within the
// nesting limit is read in its formats, the rest adds no fragment and leaves the format alone.
TEST(RtfRead, NestingLimitAppliesBeforeTheDocumentIsBuilt) {
    QByteArray rtf = "{\\rtf1{\\colortbl;\\red255\\green0\\blue0;}";
    const int depth = 1000000;
    for (int i = 0; i < depth; ++i) {
        rtf += i % 2 == 0 ? "{\\b\\cf1 x" : "{\\b0\\cf0 y";
    }
    rtf += QByteArray(depth, '}') + "{\\i end}}";
    QTextDocument document;
    ReadRtf(rtf, &document);
    const QString text = document.toPlainText();
    // 511 levels below the document's own group.
    QString readable;
    for (int i = 0; i < 511; ++i) {
        readable += i % 2 == 0 ? 'x' : 'y';
    }
    EXPECT_EQ(text, readable + "end");
    int fragments = 0;
    for (auto it = document.begin().begin(); !it.atEnd(); ++it) {
        ++fragments;
    }
    EXPECT_EQ(fragments, 512);
    EXPECT_TRUE(FormatAt(document, QStringLiteral("end")).fontItalic());
    EXPECT_FALSE(FormatAt(document, QStringLiteral("end")).font().bold());
}

TEST(RtfRead, EveryTruncatedPrefixOfEveryFixtureReads) {
    const char *files[] = {"wordpad.rtf",    "word.rtf",        "libreoffice.rtf",
                           "textedit.rtf",   "cyrillic.rtf",    "shiftjis.rtf",
                           "unclosed.rtf",   "extra_close.rtf", "huge_numbers.rtf",
                           "bad_tables.rtf", "bad_words.rtf"};
    for (const char *file : files) {
        SCOPED_TRACE(file);
        const QByteArray data = Fixture(QString::fromLatin1(file));
        const QString whole = ReadText(data);
        for (qsizetype length = 0; length <= data.size(); ++length) {
            const QString text = ReadText(data.left(length));
            // A prefix can never produce more paragraphs than the whole document has.
            ASSERT_LE(text.count(QLatin1Char('\n')), whole.count(QLatin1Char('\n')) + 1)
                << "prefix " << length;
        }
    }
}

TEST(RtfRead, InsertKeepsTheSurroundingText) {
    QTextDocument document;
    document.setPlainText(QStringLiteral("before after"));
    QTextCursor cursor(&document);
    cursor.setPosition(7);
    InsertRtf("{\\rtf1 {\\b mid} \\par}", cursor);
    EXPECT_EQ(document.toPlainText().toStdString(), "before mid after");
}

TEST(RtfDetect, RecognisesRtfHeaders) {
    EXPECT_TRUE(IsRtf("{\\rtf1\\ansi x}"));
    EXPECT_TRUE(IsRtf("\xEF\xBB\xBF  \r\n{\\rtf1}"));
    EXPECT_FALSE(IsRtf("plain {\\rtf1}"));
    EXPECT_FALSE(IsRtf("{\\rt"));
    EXPECT_FALSE(IsRtf(""));
}

class RtfRoundTrip : public ::testing::Test {
  protected:
    // A pane-like document: several fonts, sizes, colours and styles, and text that needs every
    // kind of escape.
    void SetUp() override {
        document_.setDefaultFont(QFont(QStringLiteral("DejaVu Sans"), 8));
        QTextCursor cursor(&document_);
        struct Piece {
            QString text;
            QString family;
            double points;
            bool bold, italic, underline;
            QColor color;
            bool newBlock;
        } pieces[] = {
            {QStringLiteral("Pinging alpha [127.0.0.1]"), QStringLiteral("Liberation Sans"), 10,
             true, false, false, QColor(255, 128, 0), false},
            {QStringLiteral("Reply from 127.0.0.1:  bytes=32\ttime<1ms"),
             {},
             8,
             false,
             false,
             false,
             QColor(0, 200, 0),
             true},
            {QStringLiteral(" {braces} \\ back"),
             {},
             8,
             false,
             true,
             false,
             QColor(0, 200, 0),
             false},
            {QStringLiteral("\u00e9\u20ac \u041f\u0440\u0438 \u4e2d\u6587 ") +
                 QString::fromUtf8("\xF0\x9F\x98\x80"),
             QStringLiteral("DejaVu Serif"), 12.5, false, false, true, QColor(10, 20, 30), true},
            {QString(), {}, 8, false, false, false, QColor(), true},
            {QStringLiteral("line one") + QChar(0x2028) + QStringLiteral("line two"),
             {},
             20,
             true,
             true,
             true,
             QColor(),
             true},
        };
        bool first = true;
        for (const Piece &piece : pieces) {
            QTextCharFormat format;
            if (!piece.family.isEmpty()) {
                format.setFontFamilies({piece.family});
            }
            format.setFontPointSize(piece.points);
            format.setFontWeight(piece.bold ? QFont::Bold : QFont::Normal);
            format.setFontItalic(piece.italic);
            format.setFontUnderline(piece.underline);
            if (piece.color.isValid()) {
                format.setForeground(piece.color);
            }
            if (piece.newBlock && !first) {
                cursor.insertBlock();
            }
            first = false;
            cursor.insertText(piece.text, format);
        }
    }

    QTextDocument document_;
};

TEST_F(RtfRoundTrip, TextAndFormatsSurviveOurOwnReader) {
    const QByteArray rtf = WriteRtf(document_);
    // Only 7-bit bytes: the escapes carry everything else.
    for (const char c : rtf) {
        ASSERT_GE(static_cast<unsigned char>(c), 0x0A);
        ASSERT_LT(static_cast<unsigned char>(c), 0x80);
    }
    QTextDocument back;
    back.setDefaultFont(QFont(QStringLiteral("Something Else"), 30));
    ReadRtf(rtf, &back);
    EXPECT_EQ(back.toRawText(), document_.toRawText());
    const std::vector<StyledChar> expected = Styled(document_);
    const std::vector<StyledChar> actual = Styled(back);
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(actual[i], expected[i]) << "at " << i;
    }
    // Written again, the document gives the same bytes.
    EXPECT_EQ(WriteRtf(back), rtf);
}

TEST(RtfRoundTripFonts, FontNamesOutsideAsciiSurvive) {
    QTextDocument document;
    QTextCursor cursor(&document);
    const QStringList families = {QStringLiteral("Caf\u00e9 Sans"),
                                  QStringLiteral("\u5fae\u8f6f\u96c5\u9ed1"),
                                  QStringLiteral("Odd {Brace} \\ Name")};
    for (const QString &family : families) {
        QTextCharFormat format;
        format.setFontFamilies({family});
        cursor.insertText(family, format);
    }
    QTextDocument back;
    ReadRtf(WriteRtf(document), &back);
    for (const QString &family : families) {
        SCOPED_TRACE(family.toStdString());
        EXPECT_EQ(FormatAt(back, family).fontFamilies().toStringList(), QStringList{family});
    }
    // A name in the font's own code page, as older writers store it.
    QTextDocument cyrillic;
    ReadRtf("{\\rtf1{\\fonttbl{\\f0\\fcharset204 \\'c0\\'f0\\'e8\\'e0\\'eb;}}\\f0 x}", &cyrillic);
    EXPECT_EQ(FormatAt(cyrillic, QStringLiteral("x")).fontFamilies().toStringList(),
              QStringList{QStringLiteral("\u0410\u0440\u0438\u0430\u043b")});
}

TEST_F(RtfRoundTrip, DefaultColourFillsUnsetColours) {
    QTextDocument back;
    ReadRtf(WriteRtf(document_, QColor(128, 128, 128)), &back);
    EXPECT_EQ(FormatAt(back, QStringLiteral("line one")).foreground().color(),
              QColor(128, 128, 128));
    EXPECT_EQ(FormatAt(back, QStringLiteral("Pinging")).foreground().color(), QColor(255, 128, 0));
}

TEST_F(RtfRoundTrip, UnrtfReadsWhatWeWrite) {
    if (QStandardPaths::findExecutable(QStringLiteral("unrtf")).isEmpty()) {
        GTEST_SKIP() << "unrtf is not installed";
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.rtf"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(WriteRtf(document_));
    file.close();
    const QString text = Unrtf(path, false);
    for (const char *expected :
         {"Pinging alpha [127.0.0.1]", "Reply from 127.0.0.1: bytes=32 time<1ms",
          "{braces} \\ back", "line one line two"}) {
        EXPECT_TRUE(text.contains(QLatin1String(expected))) << expected << "\n"
                                                            << text.toStdString();
    }
    const QString html = Unrtf(path, true);
    const QString unicode = QStringLiteral("\u00e9\u20ac \u041f\u0440\u0438 \u4e2d\u6587");
    EXPECT_TRUE(html.contains(unicode)) << html.toStdString();
}

namespace {

// The layout of one paragraph, in the document's pixels (twips / 15).
struct ParagraphLayout {
    QString text;
    Qt::Alignment alignment;
    double left = 0;
    double right = 0;
    double first = 0;
    QList<QTextOption::Tab> tabs;

    bool operator==(const ParagraphLayout &o) const {
        return text == o.text && alignment == o.alignment && left == o.left && right == o.right &&
               first == o.first && tabs == o.tabs;
    }
};

std::ostream &operator<<(std::ostream &out, const ParagraphLayout &p) {
    out << "'" << p.text.toStdString() << "' align " << int(p.alignment) << " li " << p.left
        << " ri " << p.right << " fi " << p.first << " tabs";
    for (const QTextOption::Tab &tab : p.tabs) {
        out << " " << tab.position << "/" << int(tab.type);
    }
    return out;
}

std::vector<ParagraphLayout> Layouts(const QTextDocument &document) {
    std::vector<ParagraphLayout> out;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat f = block.blockFormat();
        out.push_back({block.text(), f.alignment() & Qt::AlignHorizontal_Mask, f.leftMargin(),
                       f.rightMargin(), f.textIndent(), f.tabPositions()});
    }
    return out;
}

using Tab = QTextOption::Tab;

}  // namespace

TEST(RtfLayout, ParagraphLayoutAndPageAreRead) {
    QTextDocument document;
    QPageLayout page;
    ReadRtf(Fixture(QStringLiteral("layout.rtf")), &document, &page);
    const QList<Tab> tabs{Tab(96, QTextOption::LeftTab), Tab(288, QTextOption::CenterTab),
                          Tab(624, QTextOption::RightTab)};
    const std::vector<ParagraphLayout> expected = {
        {"Centred title", Qt::AlignHCenter, 0, 0, 0, {}},
        {"Right side", Qt::AlignRight, 0, 0, 0, {}},
        {"Justified text", Qt::AlignJustify, 0, 0, 0, {}},
        {"Hanging indent", Qt::AlignLeft, 96, 48, -24, {}},
        {"a\tb\tc\td", Qt::AlignLeft, 0, 0, 0, tabs},
        {"Grouped centre", Qt::AlignHCenter, 0, 0, 0, {}},
        // The group's layout ends with the group.
        {"Back to the last layout", Qt::AlignLeft, 0, 0, 0, tabs},
        {"Plain again", Qt::AlignLeft, 0, 0, 0, {}},
    };
    EXPECT_EQ(Layouts(document), expected);

    ASSERT_TRUE(page.isValid());
    EXPECT_EQ(page.pageSize().id(), QPageSize::Letter);
    EXPECT_EQ(page.orientation(), QPageLayout::Portrait);
    const QMarginsF margins = page.margins(QPageLayout::Millimeter);
    EXPECT_NEAR(margins.left(), 25.4, 0.01);
    EXPECT_NEAR(margins.right(), 19.05, 0.01);
    EXPECT_NEAR(margins.top(), 12.7, 0.01);
    EXPECT_NEAR(margins.bottom(), 17.78, 0.01);

    // No paper size: no page.
    ReadRtf("{\\rtf1 \\qc x\\par}", &document, &page);
    EXPECT_FALSE(page.isValid());
    EXPECT_EQ(document.begin().blockFormat().alignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignHCenter);
}

TEST(RtfLayout, LayoutAndPageSurviveOurWriterAndReader) {
    QTextDocument document;
    QTextCursor cursor(&document);
    const std::vector<ParagraphLayout> paragraphs = {
        {"title", Qt::AlignHCenter, 0, 0, 0, {}},
        {"official", Qt::AlignRight, 0, 0, 0, {}},
        {"block", Qt::AlignJustify, 20, 10, 30, {}},
        {"left\tright", Qt::AlignLeft, 0, 0, 0, {Tab(718, QTextOption::RightTab)}},
        {"n\t1.5\tmid",
         Qt::AlignLeft,
         0,
         0,
         -12,
         {Tab(100, QTextOption::DelimiterTab, QChar('.')), Tab(300, QTextOption::CenterTab)}},
        {"", Qt::AlignHCenter, 0, 0, 0, {}},
        {"plain", Qt::AlignLeft, 0, 0, 0, {}},
    };
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        const ParagraphLayout &p = paragraphs[i];
        QTextBlockFormat format;
        format.setAlignment(p.alignment);
        format.setLeftMargin(p.left);
        format.setRightMargin(p.right);
        format.setTextIndent(p.first);
        format.setTabPositions(p.tabs);
        if (i == 0) {
            cursor.setBlockFormat(format);
        } else {
            cursor.insertBlock(format);
        }
        cursor.insertText(p.text);
    }
    const struct {
        const char *name;
        QPageLayout page;
    } pages[] = {
        {"A4, 10 mm", QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                  QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter)},
        {"Letter landscape", QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Landscape,
                                         QMarginsF(72, 36, 54, 18), QPageLayout::Point)},
    };
    for (const auto &row : pages) {
        SCOPED_TRACE(row.name);
        const QByteArray rtf = WriteRtf(document, QColor(), row.page);
        QTextDocument back;
        QPageLayout page;
        ReadRtf(rtf, &back, &page);
        EXPECT_EQ(Layouts(back), paragraphs);
        ASSERT_TRUE(page.isValid());
        EXPECT_EQ(page.pageSize().id(), row.page.pageSize().id());
        EXPECT_EQ(page.orientation(), row.page.orientation());
        const QMarginsF want = row.page.margins(QPageLayout::Millimeter);
        const QMarginsF got = page.margins(QPageLayout::Millimeter);
        EXPECT_NEAR(got.left(), want.left(), 0.05);
        EXPECT_NEAR(got.top(), want.top(), 0.05);
        EXPECT_NEAR(got.right(), want.right(), 0.05);
        EXPECT_NEAR(got.bottom(), want.bottom(), 0.05);
    }
    // Without a page no page words are written.
    EXPECT_FALSE(WriteRtf(document).contains("\\paperw"));
}

TEST(RtfLayout, UnrtfShowsTheAlignmentWeWrite) {
    if (QStandardPaths::findExecutable(QStringLiteral("unrtf")).isEmpty()) {
        GTEST_SKIP() << "unrtf is not installed";
    }
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextBlockFormat centre;
    centre.setAlignment(Qt::AlignHCenter);
    cursor.setBlockFormat(centre);
    cursor.insertText(QStringLiteral("In the middle"));
    QTextBlockFormat right;
    right.setAlignment(Qt::AlignRight);
    cursor.insertBlock(right);
    cursor.insertText(QStringLiteral("On the right"));
    cursor.insertBlock(QTextBlockFormat());
    cursor.insertText(QStringLiteral("On the left"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("aligned.rtf"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(WriteRtf(document));
    file.close();
    QProcess unrtf;
    unrtf.start(QStringLiteral("unrtf"), {QStringLiteral("--html"), path});
    ASSERT_TRUE(unrtf.waitForFinished(60000));
    const QString html = QString::fromUtf8(unrtf.readAllStandardOutput()).simplified();
    EXPECT_TRUE(html.contains(QRegularExpression(QStringLiteral("<center>[^/]*In the middle"))))
        << html.toStdString();
    EXPECT_TRUE(
        html.contains(QRegularExpression(QStringLiteral("<div align=\"right\">[^/]*On the right"))))
        << html.toStdString();
    EXPECT_FALSE(html.contains(QRegularExpression(QStringLiteral("align=[^>]*>[^/]*On the left"))));
}
