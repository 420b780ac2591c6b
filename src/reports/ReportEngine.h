#pragma once

#include <QColor>
#include <QList>
#include <QPageLayout>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QFont;
class QPagedPaintDevice;
class QPainter;
class QTextDocument;

// The report engine: a fixed template of bands and text objects, a body of rich text that flows
// over as many pages as it needs, and the pages drawn with any QPainter (preview, printer, PDF).
//
// All report geometry is in layout pixels, 1/96 inch: the unit in which the template gives its
// font heights. Template positions are given in millimetres, as they were designed.

inline constexpr double kReportDpi = 96.0;
inline double MmToPx(double mm) {
    return mm * kReportDpi / 25.4;
}

// Fixed texts of the report.
QString ReportMakerName();    // the maker's name, printed top left on the first page
QString ReportProductName();  // "Tarvex"
QString ReportMakerFolder();  // "Haldrin"

// One text object of a band. "[PAGE#]" and "[TOTALPAGES#]" in the text are system texts: the
// page's number and the number of pages.
struct TReportText {
    QString name;
    QRectF rectMm;  // relative to the band's top left
    QString text;
    QString family = QStringLiteral("Arial");
    int pixelSize = 13;
    bool bold = false;
    bool italic = false;
    QColor color;
    Qt::Alignment alignment = Qt::AlignLeft;

    QFont Font() const;
};

struct TReportBand {
    QString name;
    double heightMm = 0;
    QList<TReportText> texts;
};

// The report template: page, bands and objects.
struct TReportTemplate {
    QString name;
    QPageLayout page;  // paper, orientation and margins (millimetres)

    TReportBand reportTitle;  // first page only
    QString ruleName;         // the horizontal rule of the title band
    double ruleTopMm = 0;
    QColor ruleColor;

    TReportBand masterData;  // holds the body; splits across pages and stretches
    QString bodyName;        // the rich-text view that shows the body
    QRectF bodyRectMm;       // its place in the master band
    double bodyGapXPx = 2;   // inner gaps of the rich-text view
    double bodyGapYPx = 1;
    int bodyFontPointSize = 0;     // default size of body text without its own; 0 keeps the body's
    QString bodyFontFamily;        // default face of body text without its own
    bool bodyDetectLinks = false;  // web addresses in the body become links (DetectLinks)

    TReportBand pageFooter;  // every page, at the bottom

    bool thumbnails = true;  // preview option: page thumbnails shown
    double previewZoom = 1.0;

    // Whether the template holds an object of that name (text, rule or body view).
    bool HasObject(const QString &objectName) const;
};

// The template "PingReport": A4 portrait, 10 mm margins, title block on the first page, the body
// below it, and the footer "Tarvex - version 1.0.0.1 ... Page: N of M" on every page.
TReportTemplate PingReportTemplate();

// One searchable text of a page: a text object (docPosition -1, rect on the page) or a piece of
// one body paragraph (docPosition is the document position of its first character).
struct TReportTextItem {
    QString text;
    int docPosition = -1;
    int objectIndex = -1;  // index into the page's fixed objects when docPosition is -1
};

// One page of a prepared report.
struct TReportPage {
    int bodyStart = 0;  // document positions of the body slice [bodyStart, bodyEnd)
    int bodyEnd = 0;
    double sliceTop = 0;  // the slice in body layout coordinates (pixels)
    double sliceBottom = 0;
    QPointF bodyOrigin;  // where the slice's top left lands on the page (pixels)
};

// A report laid out into pages. It keeps its own copy of the body, so the source may change or
// go away afterwards. In that copy every line wraps at the body's width, at a blank where it can
// and anywhere in a word longer than the line (the pane editors the body comes from never wrap),
// and text colours too light for paper are printed in their PaperTextColor.
class TPreparedReport final {
  public:
    // Lays out `body` in the template. Runs in time linear in the body's length.
    TPreparedReport(const TReportTemplate &reportTemplate, const QTextDocument &body);
    ~TPreparedReport();
    TPreparedReport(const TPreparedReport &) = delete;
    TPreparedReport &operator=(const TPreparedReport &) = delete;

    // Number of pages (at least 1: an empty body still gives the title block and the footer).
    int PageCount() const { return static_cast<int>(pages_.size()); }
    const TReportPage &Page(int index) const { return pages_.at(index); }

    // Size of every page in pixels.
    QSizeF PageSize() const { return pageSize_; }

    const TReportTemplate &Template() const { return template_; }
    const QTextDocument &Body() const { return *body_; }

    // Draws page `index` (0-based) with `painter`, whose coordinates are page pixels.
    void RenderPage(QPainter &painter, int index) const;

    // The fixed text objects of page `index` with their system texts filled in, and their
    // rectangles on the page in pixels.
    QList<TReportText> PageObjects(int index) const;
    QRectF ObjectRect(int index, const TReportText &object) const;

    // The searchable texts of page `index`, in reading order: title objects (first page), body
    // paragraphs (pieces on this page), footer objects.
    QList<TReportTextItem> PageTexts(int index) const;

    // The page rectangles (pixels) covered by `length` characters from `offset` of an item of
    // PageTexts(index).
    QList<QRectF> TextRects(int index, const TReportTextItem &item, int offset, int length) const;

    // The plain text of the page's body slice, paragraphs separated by "\n".
    QString PageBodyText(int index) const;

  private:
    QRectF BandRect(int index, const TReportBand &band) const;
    QString FillSystemTexts(const QString &text, int index) const;

    TReportTemplate template_;
    std::unique_ptr<QTextDocument> body_;
    QList<TReportPage> pages_;
    QSizeF pageSize_;
    QPointF contentOrigin_;
    double contentHeight_ = 0;
    double contentWidth_ = 0;
};

// Told after each step of a long job (a page drawn or written) with the steps done and their
// total; returns false to cancel the job.
using TReportProgress = std::function<bool(int done, int total)>;

// Draws pages [first, last] (0-based) on a paged device (a printer or a PDF writer), one device
// page per report page, the device's page layout set to the report's with no margins. Returns
// false when `progress` cancelled it (the pages drawn until then stay on the device). Throws
// TxError when the device cannot be painted on.
bool RenderReport(const TPreparedReport &report, QPagedPaintDevice &device, int first = 0,
                  int last = -1, const TReportProgress &progress = {});

// Returns `color` as it prints on white paper: unchanged when it reads well there (a contrast
// of at least 4.5 to 1 against white, as for body text on screen), else darkened in the same hue
// until it does. Pane colours are chosen for the panes' dark ground; light grey, yellow or lime
// would be all but invisible on paper.
QColor PaperTextColor(const QColor &color);

// Makes every web address in `document` a link, as rich-text editors detect them: texts starting
// with a scheme (http, https, ftp, file, mailto, news, telnet) or with "www.", up to the next
// blank and without closing punctuation. A link is underlined and blue and carries its address
// (http:// added to a bare "www.") as the anchor's target.
void DetectLinks(QTextDocument *document);

// The zoom steps of the preview: one step up or down to the next whole tenth (10 % steps), kept
// within 10 % and 300 %. Results are whole tenths, so repeated steps do not drift.
double ReportZoomUp(double zoom);
double ReportZoomDown(double zoom);

// The text search of the preview: a search from the first page, and find-next continuing it.
class TReportSearch final {
  public:
    struct Hit {
        int page = -1;
        int item = -1;  // index into PageTexts(page)
        int offset = 0;
        int length = 0;
    };

    // Starts a new search for `text` (not case-sensitive) from the first page; returns whether
    // it found an occurrence.
    bool Start(const TPreparedReport &report, const QString &text);

    // Finds the next occurrence after the current one; returns false (and keeps the last hit)
    // when there is none, and PassedEnd() is then true. The call after that starts again from
    // the first page (Wrapped() tells so). Without a running search it finds nothing.
    bool Next(const TPreparedReport &report);

    // Ends the search.
    void Stop();

    bool Running() const { return !text_.isEmpty(); }
    QString Text() const { return text_; }
    Hit Current() const { return hit_; }
    // The last Next found no occurrence after the current one.
    bool PassedEnd() const { return passedEnd_; }
    // The last Next started again from the first page.
    bool Wrapped() const { return wrapped_; }

  private:
    bool FindFrom(const TPreparedReport &report, int page, int item, int offset);

    QString text_;
    Hit hit_;
    bool passedEnd_ = false;
    bool wrapped_ = false;
};
