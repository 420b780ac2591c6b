#include "files/Rtf.h"

#include <QHash>
#include <QMap>
#include <QPageLayout>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QVector>
#include <algorithm>
#include <cctype>
#include <memory>
#include <vector>

namespace {

// Windows-1252 differs from Latin-1 only in 0x80-0x9F. Unassigned bytes keep their C1 value,
// as the Windows converter does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The byte of a character in Windows-1252, or -1 when the code page does not hold it.
int Cp1252Byte(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        return c;
    }
    for (int i = 0; i < 32; ++i) {
        if (kCp1252High[i] == c) {
            return 0x80 + i;
        }
    }
    return -1;
}

// ICU names of the code pages that RTF writers put into \ansicpg, \cpg and (through
// \fcharset) the font table.
QByteArray CodePageName(int codePage) {
    switch (codePage) {
        case 437:
            return "IBM437";
        case 850:
            return "IBM850";
        case 852:
            return "IBM852";
        case 866:
            return "IBM866";
        case 932:
            return "Shift_JIS";
        case 936:
            return "GBK";
        case 949:
            return "windows-949";
        case 950:
            return "Big5";
        case 10000:
            return "macintosh";
        case 65001:
            return "UTF-8";
        default:
            break;
    }
    if (codePage == 874 || (codePage >= 1250 && codePage <= 1258)) {
        return "windows-" + QByteArray::number(codePage);
    }
    return QByteArray();
}

// Code page of a font's \fcharset; 0 means "the document's code page" (DEFAULT_CHARSET, the
// symbol charset and fonts without \fcharset).
int CharsetCodePage(int charset) {
    switch (charset) {
        case 0:
            return 1252;
        case 77:
            return 10000;
        case 128:
            return 932;
        case 129:
            return 949;
        case 134:
            return 936;
        case 136:
            return 950;
        case 161:
            return 1253;
        case 162:
            return 1254;
        case 163:
            return 1258;
        case 177:
            return 1255;
        case 178:
            return 1256;
        case 186:
            return 1257;
        case 204:
            return 1251;
        case 222:
            return 874;
        case 238:
            return 1250;
        case 255:
            return 437;
        default:
            return 0;
    }
}

enum class Word {
    Other,
    SkippedDestination,
    Bin,
    Ud,
    FontTable,
    ColorTable,
    Par,
    Line,
    Tab,
    U,
    Uc,
    Bold,
    Italic,
    Strike,
    Underline,
    UnderlineNone,
    FontSize,
    Color,
    Font,
    Plain,
    DefaultFont,
    AnsiCodePage,
    Mac,
    Pc,
    Pca,
    Character,
    Charset,
    CodePage,
    ParagraphDefault,
    AlignLeft,
    AlignCenter,
    AlignRight,
    AlignJustify,
    LeftIndent,
    RightIndent,
    FirstIndent,
    TabStop,
    TabRight,
    TabCenter,
    TabDecimal,
    PaperWidth,
    PaperHeight,
    MarginLeft,
    MarginRight,
    MarginTop,
    MarginBottom,
    Landscape,
    Red,
    Green,
    Blue
};

// Destinations that hold no document text. Groups that start with \* are skipped as well
// (unless they are \ud, the Unicode twin of \upr's text). \field itself is read: its \fldrslt
// holds the text a reader shows; only the instruction (\fldinst) goes.
const char *const kSkippedDestinations[] = {"annotation",
                                            "atnauthor",
                                            "atndate",
                                            "atnid",
                                            "author",
                                            "bkmkend",
                                            "bkmkstart",
                                            "buptim",
                                            "category",
                                            "comment",
                                            "company",
                                            "creatim",
                                            "datastore",
                                            "doccomm",
                                            "docvar",
                                            "falt",
                                            "file",
                                            "filetbl",
                                            "fldinst",
                                            "footer",
                                            "footerf",
                                            "footerl",
                                            "footerr",
                                            "footnote",
                                            "ftncn",
                                            "ftnsep",
                                            "ftnsepc",
                                            "generator",
                                            "header",
                                            "headerf",
                                            "headerl",
                                            "headerr",
                                            "info",
                                            "keywords",
                                            "latentstyles",
                                            "listoverridetable",
                                            "listtable",
                                            "manager",
                                            "nonshppict",
                                            "object",
                                            "operator",
                                            "panose",
                                            "pgdsctbl",
                                            "pict",
                                            "printim",
                                            "private",
                                            "revtbl",
                                            "revtim",
                                            "rsidtbl",
                                            "shp",
                                            "shpinst",
                                            "stylesheet",
                                            "subject",
                                            "template",
                                            "themedata",
                                            "title",
                                            "txe",
                                            "upr",
                                            "xe",
                                            "xmlnstbl",
                                            "colorschememapping",
                                            "mmathPr",
                                            "userprops",
                                            "blipuid",
                                            "objdata",
                                            "objclass",
                                            "result"};

// Control words that stand for one character.
const std::pair<const char *, char16_t> kCharacterWords[] = {
    {"emdash", 0x2014},    {"endash", 0x2013},  {"bullet", 0x2022},
    {"lquote", 0x2018},    {"rquote", 0x2019},  {"ldblquote", 0x201C},
    {"rdblquote", 0x201D}, {"emspace", 0x2003}, {"enspace", 0x2002}};

// One hash look-up per control word: documents are mostly control words.
Word WordOf(const QByteArray &name) {
    static const QHash<QByteArray, Word> words = [] {
        QHash<QByteArray, Word> table;
        for (const char *skipped : kSkippedDestinations) {
            table.insert(skipped, Word::SkippedDestination);
        }
        for (const auto &character : kCharacterWords) {
            table.insert(character.first, Word::Character);
        }
        const std::pair<const char *, Word> others[] = {{"bin", Word::Bin},
                                                        {"ud", Word::Ud},
                                                        {"fonttbl", Word::FontTable},
                                                        {"colortbl", Word::ColorTable},
                                                        {"par", Word::Par},
                                                        {"sect", Word::Par},
                                                        {"page", Word::Par},
                                                        {"line", Word::Line},
                                                        {"tab", Word::Tab},
                                                        {"u", Word::U},
                                                        {"uc", Word::Uc},
                                                        {"b", Word::Bold},
                                                        {"i", Word::Italic},
                                                        {"strike", Word::Strike},
                                                        {"ulnone", Word::UnderlineNone},
                                                        {"fs", Word::FontSize},
                                                        {"cf", Word::Color},
                                                        {"f", Word::Font},
                                                        {"plain", Word::Plain},
                                                        {"deff", Word::DefaultFont},
                                                        {"ansicpg", Word::AnsiCodePage},
                                                        {"mac", Word::Mac},
                                                        {"pc", Word::Pc},
                                                        {"pca", Word::Pca},
                                                        {"fcharset", Word::Charset},
                                                        {"cpg", Word::CodePage},
                                                        {"pard", Word::ParagraphDefault},
                                                        {"ql", Word::AlignLeft},
                                                        {"qc", Word::AlignCenter},
                                                        {"qr", Word::AlignRight},
                                                        {"qj", Word::AlignJustify},
                                                        {"li", Word::LeftIndent},
                                                        {"ri", Word::RightIndent},
                                                        {"fi", Word::FirstIndent},
                                                        {"tx", Word::TabStop},
                                                        {"tqr", Word::TabRight},
                                                        {"tqc", Word::TabCenter},
                                                        {"tqdec", Word::TabDecimal},
                                                        {"paperw", Word::PaperWidth},
                                                        {"paperh", Word::PaperHeight},
                                                        {"margl", Word::MarginLeft},
                                                        {"margr", Word::MarginRight},
                                                        {"margt", Word::MarginTop},
                                                        {"margb", Word::MarginBottom},
                                                        {"landscape", Word::Landscape},
                                                        {"red", Word::Red},
                                                        {"green", Word::Green},
                                                        {"blue", Word::Blue}};
        for (const auto &other : others) {
            table.insert(other.first, other.second);
        }
        // Every underline style reads as underlined; \ulc (its colour) is not one of them.
        for (const char *style :
             {"ul", "uld", "uldb", "uldash", "ulw", "ulth", "ulwave", "uldashd", "uldashdd",
              "ulhwave", "ulldash", "ulthd", "ulthdash", "ululdbwave"}) {
            table.insert(style, Word::Underline);
        }
        return table;
    }();
    return words.value(name, Word::Other);
}

char16_t SymbolOf(const QByteArray &name) {
    for (const auto &character : kCharacterWords) {
        if (name == character.first) {
            return character.second;
        }
    }
    return 0xFFFD;
}

enum class Destination { Text, FontTable, ColorTable, Skip };

struct CharState {
    int font = -1;  // font number as the document names it; -1 until \f or \deff applies
    int halfPoints = 24;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    int color = 0;

    bool operator==(const CharState &o) const {
        return font == o.font && halfPoints == o.halfPoints && bold == o.bold &&
               italic == o.italic && underline == o.underline && strike == o.strike &&
               color == o.color;
    }
    bool operator!=(const CharState &o) const { return !(*this == o); }
};

// Paragraph layout, in twips (1/1440 inch) as RTF gives it.
struct ParState {
    Qt::Alignment alignment = Qt::AlignLeft;
    int leftIndent = 0;
    int rightIndent = 0;
    int firstIndent = 0;
    QList<QTextOption::Tab> tabs;  // positions in twips here
    QTextOption::TabType nextTabType = QTextOption::LeftTab;
};

// Twips to the layout pixels of a document (96 per inch) and back.
constexpr double kTwipsPerPixel = 15.0;
// More tab stops than any real paragraph has are ignored.
constexpr int kMaxTabs = 64;

struct GroupState {
    CharState chars;
    ParState par;
    Destination destination = Destination::Text;
    int unicodeSkip = 1;  // \ucN: characters that stand in for each \uN
};

struct FontEntry {
    QString family;
    int codePage = 0;
};

// Nesting deeper than this is damage: no real document comes near it. Such groups are read only
// for their braces (and \bin data), and nothing in them reaches the document, so that hostile
// input can neither grow the state stack nor build a document of one fragment per group, which
// took seconds to insert and kept a focused pane busy redrawing the line.
constexpr int kMaxDepth = 512;
// RTF numbers are 16- or 32-bit; larger ones are clamped rather than overflowed.
constexpr long long kMaxNumber = 1LL << 30;
constexpr int kMaxWordLength = 32;

class Reader {
  public:
    Reader(const QByteArray &data, QTextCursor &cursor)
        : p_(data.constData()), end_(data.constData() + data.size()), cursor_(cursor) {}

    void Run();
    // The page the document asks for: paper size, orientation and margins; invalid without
    // \paperw and \paperh.
    QPageLayout Page() const;

  private:
    void ControlWord(const QByteArray &word, bool hasNumber, long long number);
    void ControlSymbol(char symbol);
    void OpenGroup();
    void CloseGroup();
    void TextByte(unsigned char byte);
    void AppendChar(char16_t c);
    void AppendText(const QString &text);
    void StartRun();
    void DecodePendingBytes();
    QString DecodeBytes(const QByteArray &bytes, int codePage);
    int TableCodePage() const;
    void FlushRun();
    void Paragraph();
    void ApplyParagraphFormat();
    void TextWord(Word word, const QByteArray &name, bool hasNumber, long long number);
    void ParagraphWord(Word word, int n);
    void PageWord(Word word, int n);
    int EffectiveCodePage() const;
    QStringDecoder *Decoder(int codePage);
    QTextCharFormat FormatOf(const CharState &state) const;
    bool SkipFallback();
    void FontTableWord(Word word, bool hasNumber, long long number);
    void ColorTableWord(Word word, long long number);
    void FontTableText(unsigned char byte);
    void FontTableChar(char16_t c);
    void ColorTableText(unsigned char byte);

    const char *p_;
    const char *end_;
    QTextCursor &cursor_;

    GroupState state_;
    std::vector<GroupState> stack_;
    int overflowDepth_ = 0;
    bool starredGroup_ = false;  // the group just opened started with \*
    bool groupStart_ = false;    // nothing but control words since the last "{"

    int documentCodePage_ = 1252;
    int defaultFont_ = -1;
    QMap<int, FontEntry> fonts_;
    QVector<QColor> colors_;

    // Font table entry being read.
    int tableFont_ = 0;
    int tableCharset_ = -1;
    int tableCodePage_ = 0;
    QByteArray tableName_;  // bytes of the name not yet decoded
    QString tableFamily_;   // the name so far, decoded
    // Colour table entry being read.
    int red_ = -1, green_ = -1, blue_ = -1;

    QByteArray pendingBytes_;
    int pendingBytesCodePage_ = 1252;
    QString run_;
    CharState runState_;
    bool runStarted_ = false;
    // A paragraph mark was read; its new paragraph is made only when something follows, so the
    // mark that ends the last paragraph makes no empty one.
    bool pendingBreak_ = false;
    // Page size and margins (twips); 0 or -1 where the document gives none.
    int paperWidth_ = 0, paperHeight_ = 0;
    int marginLeft_ = -1, marginRight_ = -1, marginTop_ = -1, marginBottom_ = -1;
    bool landscape_ = false;
    int skipFallback_ = 0;

    QHash<int, std::shared_ptr<QStringDecoder>> decoders_;
};

bool IsPlainText(char c) {
    return c >= 0x20 && c < 0x7F && c != '\\' && c != '{' && c != '}';
}

long long ClampedAdd(long long value, int digit) {
    value = value * 10 + digit;
    return value > kMaxNumber ? kMaxNumber : value;
}

void Reader::Run() {
    while (p_ < end_) {
        const char c = *p_;
        if (skipFallback_ > 0 && c != '{' && c != '}' && SkipFallback()) {
            continue;
        }
        if (c == '{') {
            ++p_;
            OpenGroup();
        } else if (c == '}') {
            ++p_;
            CloseGroup();
        } else if (c == '\\') {
            ++p_;
            if (p_ >= end_) {
                break;
            }
            const char next = *p_;
            if ((next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z')) {
                const char *start = p_;
                while (p_ < end_ && ((*p_ >= 'a' && *p_ <= 'z') || (*p_ >= 'A' && *p_ <= 'Z'))) {
                    ++p_;
                }
                // The name points into the input; longer names than any real one are cut.
                const QByteArray word = QByteArray::fromRawData(
                    start, static_cast<qsizetype>(std::min<ptrdiff_t>(p_ - start, kMaxWordLength)));
                bool negative = false;
                bool hasNumber = false;
                long long number = 0;
                if (p_ < end_ && *p_ == '-' && p_ + 1 < end_ && p_[1] >= '0' && p_[1] <= '9') {
                    negative = true;
                    ++p_;
                }
                while (p_ < end_ && *p_ >= '0' && *p_ <= '9') {
                    hasNumber = true;
                    number = ClampedAdd(number, *p_ - '0');
                    ++p_;
                }
                if (negative) {
                    number = -number;
                }
                if (p_ < end_ && *p_ == ' ') {
                    ++p_;
                }
                ControlWord(word, hasNumber, number);
            } else {
                ++p_;
                ControlSymbol(next);
            }
        } else if (c == '\r' || c == '\n') {
            ++p_;
        } else {
            groupStart_ = false;
            if (state_.destination == Destination::Text && overflowDepth_ == 0 &&
                pendingBytes_.isEmpty() && skipFallback_ == 0 && IsPlainText(c)) {
                // Most of a document is plain 7-bit text: take it in one piece.
                const char *start = p_;
                while (p_ < end_ && IsPlainText(*p_)) {
                    ++p_;
                }
                StartRun();
                run_.append(QLatin1StringView(start, p_ - start));
                continue;
            }
            ++p_;
            TextByte(static_cast<unsigned char>(c));
        }
    }
    DecodePendingBytes();
    FlushRun();
    // A last paragraph without its mark takes the layout in force at the end.
    if (!pendingBreak_) {
        ApplyParagraphFormat();
    }
}

// Consumes one character of the fallback text that follows \uN. Returns false when the next
// item is not a fallback character (a brace), leaving it for normal processing.
bool Reader::SkipFallback() {
    const char c = *p_;
    if (c == '\r' || c == '\n') {
        ++p_;
        return true;
    }
    if (c == '\\') {
        if (p_ + 1 >= end_) {
            p_ = end_;
            return true;
        }
        const char next = p_[1];
        if (next == '\'') {
            p_ += 2;
            for (int i = 0; i < 2 && p_ < end_ && isxdigit(static_cast<unsigned char>(*p_)); ++i) {
                ++p_;
            }
        } else if ((next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z')) {
            // A control word stands for one fallback character; \bin would also carry data, but
            // no writer uses it as a fallback.
            p_ += 1;
            while (p_ < end_ && ((*p_ >= 'a' && *p_ <= 'z') || (*p_ >= 'A' && *p_ <= 'Z'))) {
                ++p_;
            }
            if (p_ < end_ && *p_ == '-') {
                ++p_;
            }
            while (p_ < end_ && *p_ >= '0' && *p_ <= '9') {
                ++p_;
            }
            if (p_ < end_ && *p_ == ' ') {
                ++p_;
            }
        } else {
            p_ += 2;
        }
    } else {
        ++p_;
    }
    --skipFallback_;
    return true;
}

void Reader::OpenGroup() {
    DecodePendingBytes();
    skipFallback_ = 0;
    if (stack_.size() >= static_cast<size_t>(kMaxDepth)) {
        ++overflowDepth_;
    } else {
        stack_.push_back(state_);
    }
    starredGroup_ = false;
    groupStart_ = true;
}

void Reader::CloseGroup() {
    DecodePendingBytes();
    skipFallback_ = 0;
    if (state_.destination == Destination::FontTable &&
        (!tableName_.isEmpty() || !tableFamily_.isEmpty())) {
        // An entry closed by its brace without the ";".
        FontTableText(';');
    }
    if (overflowDepth_ > 0) {
        --overflowDepth_;
    } else if (!stack_.empty()) {
        const Destination leaving = state_.destination;
        state_ = stack_.back();
        stack_.pop_back();
        if (leaving == Destination::FontTable && state_.destination != Destination::FontTable) {
            tableName_.clear();
            tableFamily_.clear();
        }
    }
    // A "}" with no open group is ignored: the document goes on.
    starredGroup_ = false;
    groupStart_ = false;
}

void Reader::ControlSymbol(char symbol) {
    const bool atGroupStart = groupStart_;
    groupStart_ = false;
    if (overflowDepth_ > 0) {
        return;
    }
    switch (symbol) {
        case '*':
            if (atGroupStart) {
                starredGroup_ = true;
                groupStart_ = true;
            }
            return;
        case '\'': {
            int value = 0;
            int digits = 0;
            while (digits < 2 && p_ < end_ && isxdigit(static_cast<unsigned char>(*p_))) {
                const char h = *p_++;
                value = value * 16 + (h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
                ++digits;
            }
            if (digits > 0) {
                TextByte(static_cast<unsigned char>(value));
            }
            return;
        }
        case '\\':
        case '{':
        case '}':
            TextByte(static_cast<unsigned char>(symbol));
            return;
        case '~':
            AppendChar(0x00A0);
            return;
        case '_':
            AppendChar(0x2011);
            return;
        case '-':
            return;  // optional hyphen: shown only where a line breaks
        case '\r':
        case '\n':
            ControlWord("par", false, 0);
            return;
        case '\t':
            AppendChar('\t');
            return;
        default:
            return;
    }
}

void Reader::ControlWord(const QByteArray &name, bool hasNumber, long long number) {
    const bool atGroupStart = groupStart_;
    groupStart_ = false;
    const Word word = WordOf(name);
    if (word == Word::Bin) {
        // Binary data of the given length follows; it is never text.
        DecodePendingBytes();
        const long long left = end_ - p_;
        p_ += (number < 0 ? 0 : (number > left ? left : number));
        return;
    }
    if (overflowDepth_ > 0) {
        return;
    }
    if (state_.destination == Destination::Skip) {
        if (word == Word::Ud && atGroupStart) {
            state_.destination = Destination::Text;
        }
        return;
    }
    if (atGroupStart && starredGroup_) {
        starredGroup_ = false;
        if (word != Word::Ud) {
            DecodePendingBytes();
            state_.destination = Destination::Skip;
            return;
        }
    }
    if (word == Word::SkippedDestination) {
        DecodePendingBytes();
        state_.destination = Destination::Skip;
        return;
    }
    if (state_.destination == Destination::FontTable) {
        FontTableWord(word, hasNumber, number);
        return;
    }
    if (state_.destination == Destination::ColorTable) {
        ColorTableWord(word, number);
        return;
    }
    TextWord(word, name, hasNumber, number);
}

// A control word of the document body: character formats, special characters, code pages, and
// the paragraph and page layout words handed on.
void Reader::TextWord(Word word, const QByteArray &name, bool hasNumber, long long number) {
    const int n = static_cast<int>(number);
    const bool on = !hasNumber || n != 0;
    CharState &chars = state_.chars;
    switch (word) {
        case Word::FontTable:
            DecodePendingBytes();
            state_.destination = Destination::FontTable;
            tableName_.clear();
            tableFamily_.clear();
            tableCharset_ = -1;
            tableCodePage_ = 0;
            break;
        case Word::ColorTable:
            DecodePendingBytes();
            state_.destination = Destination::ColorTable;
            colors_.clear();
            red_ = green_ = blue_ = -1;
            break;
        case Word::Par:
            Paragraph();
            break;
        case Word::Line:
            AppendChar(0x2028);
            break;
        case Word::Tab:
            AppendChar('\t');
            break;
        case Word::U:
            if (hasNumber) {
                // Values above 32767 are written as negative 16-bit numbers.
                long long code = number < 0 ? number + 65536 : number;
                if (code < 0 || code > 0xFFFF) {
                    code = 0xFFFD;
                }
                AppendChar(static_cast<char16_t>(code));
                skipFallback_ = state_.unicodeSkip;
            }
            break;
        case Word::Uc:
            state_.unicodeSkip = n < 0 ? 0 : (n > 8 ? 8 : n);
            break;
        case Word::Bold:
            chars.bold = on;
            break;
        case Word::Italic:
            chars.italic = on;
            break;
        case Word::Strike:
            chars.strike = on;
            break;
        case Word::Underline:
            chars.underline = on;
            break;
        case Word::UnderlineNone:
            chars.underline = false;
            break;
        case Word::FontSize:
            chars.halfPoints = n <= 0 ? 24 : (n > 3276 ? 3276 : n);
            break;
        case Word::Color:
            chars.color = n < 0 ? 0 : n;
            break;
        case Word::Font:
            DecodePendingBytes();
            chars.font = n;
            break;
        case Word::Plain:
            DecodePendingBytes();
            chars = CharState();
            chars.font = defaultFont_;
            break;
        case Word::DefaultFont:
            defaultFont_ = n;
            if (chars.font < 0) {
                chars.font = n;
            }
            break;
        case Word::AnsiCodePage:
            DecodePendingBytes();
            if (!CodePageName(n).isEmpty()) {
                documentCodePage_ = n;
            }
            break;
        case Word::Mac:
            documentCodePage_ = 10000;
            break;
        case Word::Pc:
            documentCodePage_ = 437;
            break;
        case Word::Pca:
            documentCodePage_ = 850;
            break;
        case Word::Character:
            AppendChar(SymbolOf(name));
            break;
        case Word::ParagraphDefault:
        case Word::AlignLeft:
        case Word::AlignCenter:
        case Word::AlignRight:
        case Word::AlignJustify:
        case Word::LeftIndent:
        case Word::RightIndent:
        case Word::FirstIndent:
        case Word::TabStop:
        case Word::TabRight:
        case Word::TabCenter:
        case Word::TabDecimal:
            ParagraphWord(word, n);
            break;
        case Word::PaperWidth:
        case Word::PaperHeight:
        case Word::MarginLeft:
        case Word::MarginRight:
        case Word::MarginTop:
        case Word::MarginBottom:
        case Word::Landscape:
            PageWord(word, n);
            break;
        default:
            // Every other control word (paragraph layout, page setup, revision marks, ...) has no
            // bearing on the text and its character formats.
            break;
    }
}

// Paper size and margins in twips (a side of the paper up to 44 inches, a margin up to 22), and
// the orientation.
void Reader::PageWord(Word word, int n) {
    switch (word) {
        case Word::PaperWidth:
            paperWidth_ = std::clamp(n, 0, 2 * 31680);
            break;
        case Word::PaperHeight:
            paperHeight_ = std::clamp(n, 0, 2 * 31680);
            break;
        case Word::MarginLeft:
            marginLeft_ = std::clamp(n, 0, 31680);
            break;
        case Word::MarginRight:
            marginRight_ = std::clamp(n, 0, 31680);
            break;
        case Word::MarginTop:
            marginTop_ = std::clamp(n, 0, 31680);
            break;
        case Word::MarginBottom:
            marginBottom_ = std::clamp(n, 0, 31680);
            break;
        case Word::Landscape:
            landscape_ = true;
            break;
        default:
            break;
    }
}

void Reader::FontTableWord(Word word, bool hasNumber, long long number) {
    if (word == Word::Font && hasNumber) {
        if (!tableName_.isEmpty() || !tableFamily_.isEmpty()) {
            FontTableText(';');
        }
        tableFont_ = static_cast<int>(number);
        tableCharset_ = -1;
        tableCodePage_ = 0;
    } else if (word == Word::Charset) {
        tableCharset_ = static_cast<int>(number);
    } else if (word == Word::CodePage) {
        tableCodePage_ =
            CodePageName(static_cast<int>(number)).isEmpty() ? 0 : static_cast<int>(number);
    } else if (word == Word::U && hasNumber) {
        const long long code = number < 0 ? number + 65536 : number;
        FontTableChar(code < 0 || code > 0xFFFF ? char16_t(0xFFFD) : static_cast<char16_t>(code));
        skipFallback_ = state_.unicodeSkip;
    }
}

int Reader::TableCodePage() const {
    return tableCodePage_ != 0 ? tableCodePage_ : CharsetCodePage(tableCharset_);
}

void Reader::FontTableText(unsigned char byte) {
    if (byte != ';') {
        tableName_.append(static_cast<char>(byte));
        return;
    }
    FontEntry entry;
    entry.codePage = TableCodePage();
    const int codePage = entry.codePage != 0 ? entry.codePage : documentCodePage_;
    entry.family = (tableFamily_ + DecodeBytes(tableName_, codePage)).trimmed();
    fonts_.insert(tableFont_, entry);
    tableName_.clear();
    tableFamily_.clear();
}

// A Unicode escape inside a font name.
void Reader::FontTableChar(char16_t c) {
    const int codePage = TableCodePage() != 0 ? TableCodePage() : documentCodePage_;
    tableFamily_ += DecodeBytes(tableName_, codePage);
    tableName_.clear();
    tableFamily_ += QChar(c);
}

void Reader::ColorTableWord(Word word, long long number) {
    const int value = number < 0 ? 0 : (number > 255 ? 255 : static_cast<int>(number));
    if (word == Word::Red) {
        red_ = value;
    } else if (word == Word::Green) {
        green_ = value;
    } else if (word == Word::Blue) {
        blue_ = value;
    }
}

void Reader::ColorTableText(unsigned char byte) {
    if (byte != ';') {
        return;
    }
    // An entry without any component is the automatic colour.
    if (red_ < 0 && green_ < 0 && blue_ < 0) {
        colors_.append(QColor());
    } else {
        colors_.append(QColor(red_ < 0 ? 0 : red_, green_ < 0 ? 0 : green_, blue_ < 0 ? 0 : blue_));
    }
    red_ = green_ = blue_ = -1;
}

void Reader::TextByte(unsigned char byte) {
    if (overflowDepth_ > 0) {
        return;
    }
    switch (state_.destination) {
        case Destination::Skip:
            return;
        case Destination::FontTable:
            FontTableText(byte);
            return;
        case Destination::ColorTable:
            ColorTableText(byte);
            return;
        case Destination::Text:
            break;
    }
    if (byte < 0x20 && byte != '\t') {
        return;  // control bytes are no text, whichever way they got in
    }
    if (byte < 0x80 && pendingBytes_.isEmpty()) {
        AppendChar(byte);
        return;
    }
    const int codePage = EffectiveCodePage();
    if (!pendingBytes_.isEmpty() && codePage != pendingBytesCodePage_) {
        DecodePendingBytes();
    }
    pendingBytesCodePage_ = codePage;
    pendingBytes_.append(static_cast<char>(byte));
}

int Reader::EffectiveCodePage() const {
    const auto font = fonts_.constFind(state_.chars.font);
    if (font != fonts_.constEnd() && font->codePage != 0) {
        return font->codePage;
    }
    return documentCodePage_;
}

QStringDecoder *Reader::Decoder(int codePage) {
    auto found = decoders_.constFind(codePage);
    if (found != decoders_.constEnd()) {
        return found->get();
    }
    std::shared_ptr<QStringDecoder> decoder;
    const QByteArray name = CodePageName(codePage);
    if (codePage != 1252 && !name.isEmpty()) {
        decoder = std::make_shared<QStringDecoder>(name.constData());
        if (!decoder->isValid()) {
            decoder.reset();
        }
    }
    decoders_.insert(codePage, decoder);
    return decoder.get();
}

QString Reader::DecodeBytes(const QByteArray &bytes, int codePage) {
    QStringDecoder *decoder = Decoder(codePage);
    if (decoder != nullptr) {
        const QString text = decoder->decode(bytes);
        // A dangling lead byte must not swallow the next, unrelated run.
        decoder->resetState();
        return text;
    }
    QString text;
    text.reserve(bytes.size());
    for (const char b : bytes) {
        const unsigned char u = static_cast<unsigned char>(b);
        text.append(QChar(u >= 0x80 && u < 0xA0 ? kCp1252High[u - 0x80] : char16_t(u)));
    }
    return text;
}

void Reader::DecodePendingBytes() {
    if (pendingBytes_.isEmpty()) {
        return;
    }
    const QByteArray bytes = pendingBytes_;
    pendingBytes_.clear();
    AppendText(DecodeBytes(bytes, pendingBytesCodePage_));
}

// Control characters other than the tab are no text, whichever way they got in: a raw byte, a
// \'XX or \uN escape, or a code page's substitute for a byte it cannot decode. The writer
// cannot write them, so a document holding one would not read back to the same text.
bool IsTextChar(char16_t c) {
    return c >= 0x20 || c == '\t';
}

void Reader::AppendChar(char16_t c) {
    if (state_.destination != Destination::Text) {
        return;
    }
    DecodePendingBytes();
    if (!IsTextChar(c)) {
        return;
    }
    StartRun();
    run_.append(QChar(c));
}

void Reader::AppendText(const QString &text) {
    QString kept = text;
    kept.removeIf([](QChar c) { return !IsTextChar(c.unicode()); });
    if (kept.isEmpty()) {
        return;
    }
    StartRun();
    run_.append(kept);
}

// Makes run_ ready to take text in the current character format.
void Reader::StartRun() {
    if (runStarted_ && runState_ != state_.chars) {
        FlushRun();
    }
    if (pendingBreak_) {
        FlushRun();
        cursor_.insertBlock();
        pendingBreak_ = false;
    }
    if (!runStarted_) {
        runStarted_ = true;
        runState_ = state_.chars;
    }
}

void Reader::Paragraph() {
    if (state_.destination != Destination::Text) {
        return;
    }
    DecodePendingBytes();
    FlushRun();
    if (pendingBreak_) {
        cursor_.insertBlock();
    }
    // The layout in force at the paragraph mark is the paragraph's layout.
    ApplyParagraphFormat();
    pendingBreak_ = true;
}

void Reader::ApplyParagraphFormat() {
    const ParState &par = state_.par;
    QTextBlockFormat format = cursor_.blockFormat();
    format.setAlignment(par.alignment);
    format.setLeftMargin(par.leftIndent / kTwipsPerPixel);
    format.setRightMargin(par.rightIndent / kTwipsPerPixel);
    format.setTextIndent(par.firstIndent / kTwipsPerPixel);
    QList<QTextOption::Tab> tabs;
    for (QTextOption::Tab tab : par.tabs) {
        tab.position /= kTwipsPerPixel;
        tabs.append(tab);
    }
    format.setTabPositions(tabs);
    cursor_.setBlockFormat(format);
    // An empty paragraph is as high as its mark's characters.
    if (cursor_.block().length() <= 1) {
        cursor_.setBlockCharFormat(FormatOf(state_.chars));
    }
}

void Reader::ParagraphWord(Word word, int n) {
    ParState &par = state_.par;
    // Indents beyond a sheet of paper are damage, not layout.
    const int twips = std::clamp(n, -31680, 31680);
    switch (word) {
        case Word::ParagraphDefault:
            par = ParState();
            break;
        case Word::AlignLeft:
            par.alignment = Qt::AlignLeft;
            break;
        case Word::AlignCenter:
            par.alignment = Qt::AlignHCenter;
            break;
        case Word::AlignRight:
            par.alignment = Qt::AlignRight;
            break;
        case Word::AlignJustify:
            par.alignment = Qt::AlignJustify;
            break;
        case Word::LeftIndent:
            par.leftIndent = twips;
            break;
        case Word::RightIndent:
            par.rightIndent = twips;
            break;
        case Word::FirstIndent:
            par.firstIndent = twips;
            break;
        case Word::TabRight:
            par.nextTabType = QTextOption::RightTab;
            break;
        case Word::TabCenter:
            par.nextTabType = QTextOption::CenterTab;
            break;
        case Word::TabDecimal:
            par.nextTabType = QTextOption::DelimiterTab;
            break;
        case Word::TabStop:
            if (twips > 0 && par.tabs.size() < kMaxTabs) {
                par.tabs.append(QTextOption::Tab(
                    twips, par.nextTabType,
                    par.nextTabType == QTextOption::DelimiterTab ? QChar('.') : QChar()));
            }
            par.nextTabType = QTextOption::LeftTab;
            break;
        default:
            break;
    }
}

QPageLayout Reader::Page() const {
    if (paperWidth_ <= 0 || paperHeight_ <= 0) {
        return QPageLayout();
    }
    // Millimetres keep the sizes exact enough; QPageLayout gives point figures in whole points,
    // which would shift 10 mm margins by a tenth of a millimetre.
    const auto mm = [](int twips) { return twips * 25.4 / 1440.0; };
    // Paper sizes are named by their portrait form; \landscape or a wide sheet turns it.
    const bool wide = landscape_ || paperWidth_ > paperHeight_;
    const QSizeF portrait(mm(std::min(paperWidth_, paperHeight_)),
                          mm(std::max(paperWidth_, paperHeight_)));
    // Without margins of its own a document has RTF's standard ones: 1.25 inch left and right,
    // 1 inch top and bottom.
    const auto margin = [&mm](int twips, int standard) { return mm(twips < 0 ? standard : twips); };
    QPageLayout layout(QPageSize(portrait, QPageSize::Millimeter),
                       wide ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF(),
                       QPageLayout::Millimeter);
    layout.setMinimumMargins(QMarginsF());
    layout.setMargins(QMarginsF(margin(marginLeft_, 1800), margin(marginTop_, 1440),
                                margin(marginRight_, 1800), margin(marginBottom_, 1440)));
    return layout;
}

QTextCharFormat Reader::FormatOf(const CharState &state) const {
    QTextCharFormat format;
    const auto font = fonts_.constFind(state.font);
    if (font != fonts_.constEnd() && !font->family.isEmpty()) {
        format.setFontFamilies({font->family});
    }
    format.setFontPointSize(state.halfPoints / 2.0);
    format.setFontWeight(state.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(state.italic);
    format.setFontUnderline(state.underline);
    format.setFontStrikeOut(state.strike);
    if (state.color > 0 && state.color < colors_.size() && colors_[state.color].isValid()) {
        format.setForeground(colors_[state.color]);
    }
    return format;
}

void Reader::FlushRun() {
    if (run_.isEmpty()) {
        runStarted_ = false;
        return;
    }
    // Unicode escapes may carry half a surrogate pair; a lone half is not a character.
    for (qsizetype i = 0; i < run_.size(); ++i) {
        const QChar c = run_.at(i);
        if (c.isHighSurrogate() && i + 1 < run_.size() && run_.at(i + 1).isLowSurrogate()) {
            ++i;
        } else if (c.isSurrogate()) {
            run_[i] = QChar(0xFFFD);
        } else if (c == QChar(0) || c == QChar(QChar::ParagraphSeparator)) {
            run_[i] = c.isNull() ? QChar(0xFFFD) : QChar('\n');
        }
    }
    cursor_.insertText(run_, FormatOf(runState_));
    run_.clear();
    runStarted_ = false;
}

// --- writer -------------------------------------------------------------------------------

void AppendNumber(QByteArray &out, long long value) {
    out.append(QByteArray::number(value));
}

// Escapes text for an RTF body or font table: Windows-1252 bytes where the code page holds the
// character, \uN with a "?" stand-in for everything else.
void AppendEscaped(QByteArray &out, QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == '\\' || c == '{' || c == '}') {
            out.append('\\');
            out.append(static_cast<char>(c));
        } else if (c == '\t') {
            out.append("\\tab ");
        } else if (c == 0x2028 || c == '\n' || c == '\r') {
            out.append("\\line ");
        } else if (c == 0x00A0) {
            out.append("\\~");
        } else if (c >= 0x20 && c < 0x80) {
            out.append(static_cast<char>(c));
        } else if (c < 0x20) {
            // Other control characters have no meaning in a document.
            continue;
        } else {
            const int byte = Cp1252Byte(c);
            if (byte >= 0) {
                static const char hex[] = "0123456789abcdef";
                out.append("\\'");
                out.append(hex[byte >> 4]);
                out.append(hex[byte & 15]);
            } else {
                out.append("\\u");
                AppendNumber(out, static_cast<qint16>(c));
                out.append('?');
            }
        }
    }
}

// The paragraph layout words of a block (after \pard): alignment, indents, tab stops.
QByteArray ParagraphWords(const QTextBlockFormat &format) {
    QByteArray words;
    const Qt::Alignment alignment = format.alignment() & Qt::AlignHorizontal_Mask;
    if (alignment & Qt::AlignHCenter) {
        words.append("\\qc");
    } else if (alignment & (Qt::AlignRight | Qt::AlignTrailing)) {
        words.append("\\qr");
    } else if (alignment & Qt::AlignJustify) {
        words.append("\\qj");
    }
    const auto twips = [](double pixels) { return qRound64(pixels * kTwipsPerPixel); };
    const auto indent = [&](const char *word, double pixels) {
        if (twips(pixels) != 0) {
            words.append(word);
            AppendNumber(words, twips(pixels));
        }
    };
    indent("\\li", format.leftMargin());
    indent("\\ri", format.rightMargin());
    indent("\\fi", format.textIndent());
    for (const QTextOption::Tab &tab : format.tabPositions()) {
        if (tab.type == QTextOption::RightTab) {
            words.append("\\tqr");
        } else if (tab.type == QTextOption::CenterTab) {
            words.append("\\tqc");
        } else if (tab.type == QTextOption::DelimiterTab) {
            words.append("\\tqdec");
        }
        words.append("\\tx");
        AppendNumber(words, twips(tab.position));
    }
    return words;
}

// One stretch of text in one character format, as the writer puts it out.
struct WriterRun {
    QString text;
    int font;
    int halfPoints;
    bool bold, italic, underline, strike;
    int color;  // 0: the reader's automatic colour
};

// One paragraph: its runs, whether it starts a new page (a report's pages; the others flow on)
// and its layout words.
struct WriterBlock {
    QVector<WriterRun> runs;
    bool pageBreak = false;
    QByteArray paragraph;
};

// The font and colour tables, filled in the order the document first uses each entry.
struct WriterTables {
    QStringList fonts;
    QVector<QColor> colors;  // index 0 of the written table is the automatic colour
    QHash<QString, int> fontIndex;
    QHash<QRgb, int> colorIndex;

    int FontOf(const QString &family) {
        auto f = fontIndex.constFind(family);
        if (f == fontIndex.constEnd()) {
            f = fontIndex.insert(family, static_cast<int>(fonts.size()));
            fonts.append(family);
        }
        return *f;
    }

    int ColorOf(const QColor &color) {
        const QRgb rgb = color.rgb() & 0xFFFFFF;
        auto c = colorIndex.constFind(rgb);
        if (c == colorIndex.constEnd()) {
            c = colorIndex.insert(rgb, static_cast<int>(colors.size()) + 1);
            colors.append(color);
        }
        return *c;
    }
};

// A fragment's text and format, with its font and colour entered into the tables.
WriterRun RunOf(const QTextFragment &fragment, const QFont &base, const QColor &defaultColor,
                WriterTables *tables) {
    const QTextCharFormat format = fragment.charFormat();
    const QFont font = format.font().resolve(base);
    WriterRun run;
    run.text = fragment.text();
    QString family = font.family();
    if (family.isEmpty()) {
        family = QStringLiteral("Arial");
    }
    run.font = tables->FontOf(family);
    double points = font.pointSizeF();
    if (points <= 0 && font.pixelSize() > 0) {
        points = font.pixelSize() * 72.0 / 96.0;
    }
    if (points <= 0) {
        points = 12;
    }
    run.halfPoints = qBound(2, qRound(points * 2), 3276);
    run.bold = font.weight() >= QFont::DemiBold;
    run.italic = font.italic();
    run.underline = font.underline();
    run.strike = font.strikeOut();
    QColor color;
    if (format.hasProperty(QTextFormat::ForegroundBrush) &&
        format.foreground().style() != Qt::NoBrush) {
        color = format.foreground().color();
    } else {
        color = defaultColor;
    }
    run.color = color.isValid() ? tables->ColorOf(color) : 0;
    return run;
}

// Every paragraph of the document with its runs; the tables receive the fonts and colours.
QVector<WriterBlock> CollectBlocks(const QTextDocument &document, const QFont &base,
                                   const QColor &defaultColor, WriterTables *tables) {
    QVector<WriterBlock> blocks;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        WriterBlock written;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.isValid()) {
                written.runs.append(RunOf(fragment, base, defaultColor, tables));
            }
        }
        const QTextBlockFormat format = block.blockFormat();
        written.pageBreak = format.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore;
        written.paragraph = ParagraphWords(format);
        blocks.append(written);
    }
    return blocks;
}

void AppendFontTable(QByteArray &out, const QStringList &fonts) {
    out.append("{\\fonttbl");
    for (int i = 0; i < fonts.size(); ++i) {
        out.append("{\\f");
        AppendNumber(out, i);
        out.append("\\fnil\\fcharset0 ");
        AppendEscaped(out, fonts[i]);
        out.append(";}");
    }
    out.append("}\n");
}

void AppendColorTable(QByteArray &out, const QVector<QColor> &colors) {
    out.append("{\\colortbl ;");
    for (const QColor &color : colors) {
        out.append("\\red");
        AppendNumber(out, color.red());
        out.append("\\green");
        AppendNumber(out, color.green());
        out.append("\\blue");
        AppendNumber(out, color.blue());
        out.append(';');
    }
    out.append("}\n");
}

// The sheet as it lies (a landscape sheet is wider than high) and its margins, in twips.
void AppendPageWords(QByteArray &out, const QPageLayout &page) {
    const QRectF sheet = page.fullRect(QPageLayout::Millimeter);
    const QMarginsF margins = page.margins(QPageLayout::Millimeter);
    const auto twips = [&out](const char *word, double mm) {
        out.append(word);
        AppendNumber(out, qRound64(mm * 1440 / 25.4));
    };
    twips("\\paperw", sheet.width());
    twips("\\paperh", sheet.height());
    twips("\\margl", margins.left());
    twips("\\margr", margins.right());
    twips("\\margt", margins.top());
    twips("\\margb", margins.bottom());
    if (page.orientation() == QPageLayout::Landscape) {
        out.append("\\landscape");
    }
    out.append('\n');
}

// A run starts from plain text (\plain) and names every property it has, so it never depends
// on the run before it.
void AppendRun(QByteArray &out, const WriterRun &run) {
    out.append("\\plain\\f");
    AppendNumber(out, run.font);
    out.append("\\fs");
    AppendNumber(out, run.halfPoints);
    if (run.bold) {
        out.append("\\b");
    }
    if (run.italic) {
        out.append("\\i");
    }
    if (run.underline) {
        out.append("\\ul");
    }
    if (run.strike) {
        out.append("\\strike");
    }
    if (run.color != 0) {
        out.append("\\cf");
        AppendNumber(out, run.color);
    }
    out.append(' ');
    AppendEscaped(out, run.text);
}

void AppendBody(QByteArray &out, const QVector<WriterBlock> &blocks) {
    QByteArray lastParagraph;
    for (qsizetype b = 0; b < blocks.size(); ++b) {
        const WriterBlock &block = blocks.at(b);
        if (block.pageBreak && b > 0) {
            out.append("\\page\n");
        }
        // Paragraph layout holds until \pard; it is written again only where it changes.
        if (block.paragraph != lastParagraph) {
            out.append("\\pard");
            out.append(block.paragraph);
            out.append('\n');
            lastParagraph = block.paragraph;
        }
        for (const WriterRun &run : block.runs) {
            AppendRun(out, run);
        }
        out.append("\\par\n");
    }
}

}  // namespace

bool IsRtf(const QByteArray &data) {
    qsizetype i = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (i < data.size() &&
           (data[i] == ' ' || data[i] == '\t' || data[i] == '\r' || data[i] == '\n')) {
        ++i;
    }
    return QByteArrayView(data).sliced(i).startsWith("{\\rtf");
}

void InsertRtf(const QByteArray &data, QTextCursor &cursor, QPageLayout *page) {
    cursor.beginEditBlock();
    Reader reader(data, cursor);
    reader.Run();
    cursor.endEditBlock();
    if (page != nullptr) {
        *page = reader.Page();
    }
}

void ReadRtf(const QByteArray &data, QTextDocument *document, QPageLayout *page) {
    const bool undo = document->isUndoRedoEnabled();
    document->setUndoRedoEnabled(false);
    document->clear();
    QTextCursor cursor(document);
    InsertRtf(data, cursor, page);
    document->setUndoRedoEnabled(undo);
}

QByteArray WriteRtf(const QTextDocument &document, const QColor &defaultColor,
                    const QPageLayout &page) {
    const QFont base = document.defaultFont();
    WriterTables tables;
    const QVector<WriterBlock> blocks = CollectBlocks(document, base, defaultColor, &tables);
    if (tables.fonts.isEmpty()) {
        tables.fonts.append(base.family().isEmpty() ? QStringLiteral("Arial") : base.family());
    }

    QByteArray out;
    out.reserve(document.characterCount() + 256);
    out.append("{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n");
    AppendFontTable(out, tables.fonts);
    AppendColorTable(out, tables.colors);
    if (page.isValid()) {
        AppendPageWords(out, page);
    }
    out.append("\\viewkind4\\pard\\plain\n");
    AppendBody(out, blocks);
    out.append("}\n");
    return out;
}
