#include "reports/ReportEngine.h"

#include <QAbstractTextDocumentLayout>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>
#include <cmath>

#include "common/Errors.h"

namespace {

const QColor kDarkGrey(64, 64, 64);

// The body is laid out on a device of exactly 96 dots per inch, whatever screen the program runs
// on, so the preview, the printout and the PDF break the pages at the same lines.
QPaintDevice *LayoutDevice() {
    static QImage device = [] {
        QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
        const int dotsPerMeter = qRound(kReportDpi / 0.0254);
        image.setDotsPerMeterX(dotsPerMeter);
        image.setDotsPerMeterY(dotsPerMeter);
        return image;
    }();
    return &device;
}

TReportText Text(const QString &name, double x, double y, double w, double h, const QString &text,
                 int pixelSize, bool bold, bool italic, const QColor &color,
                 Qt::Alignment alignment) {
    TReportText object;
    object.name = name;
    object.rectMm = QRectF(x, y, w, h);
    object.text = text;
    object.pixelSize = pixelSize;
    object.bold = bold;
    object.italic = italic;
    object.color = color;
    object.alignment = alignment;
    return object;
}

// Where `alignment` puts a text of width `width` inside `rect`; texts may grow beyond their
// boxes (page numbers), so the box is an anchor, not a limit.
double AlignedLeft(const QRectF &rect, double width, Qt::Alignment alignment) {
    if (alignment & Qt::AlignRight) {
        return rect.right() - width;
    }
    if (alignment & Qt::AlignHCenter) {
        return rect.left() + (rect.width() - width) / 2;
    }
    return rect.left();
}

// The relative luminance of an sRGB colour, 0 for black to 1 for white.
double Luminance(const QColor &color) {
    const auto channel = [](double value) {
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) +
           0.0722 * channel(color.blueF());
}

// The contrast of a colour against white paper, from 1 (white) to 21 (black).
double ContrastOnWhite(const QColor &color) {
    return 1.05 / (Luminance(color) + 0.05);
}

void PrintTextColorsForPaper(QTextDocument *document) {
    QTextCursor cursor(document);
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QBrush brush = fragment.charFormat().foreground();
            if (brush.style() == Qt::NoBrush) {
                continue;  // the painter's black
            }
            const QColor printed = PaperTextColor(brush.color());
            if (printed == brush.color()) {
                continue;
            }
            QTextCharFormat format;
            format.setForeground(printed);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.mergeCharFormat(format);
        }
    }
}

}  // namespace

QColor PaperTextColor(const QColor &color) {
    constexpr double kLeastContrast = 4.5;
    if (!color.isValid() || ContrastOnWhite(color) >= kLeastContrast) {
        return color;
    }
    // Darker in steps of the same hue and saturation; black, the last step, always reads.
    const QColor hsl = color.toHsl();
    for (int lightness = hsl.lightness() - 1; lightness > 0; --lightness) {
        const QColor darker =
            QColor::fromHsl(hsl.hslHue(), hsl.hslSaturation(), lightness, color.alpha());
        if (ContrastOnWhite(darker) >= kLeastContrast) {
            return darker.toRgb();
        }
    }
    return QColor(0, 0, 0, color.alpha());
}

QString ReportMakerName() {
    return QStringLiteral("Haldrin Software");
}
QString ReportProductName() {
    return QStringLiteral("Tarvex");
}
QString ReportMakerFolder() {
    return QStringLiteral("Haldrin");
}

QFont TReportText::Font() const {
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

bool TReportTemplate::HasObject(const QString &objectName) const {
    if (objectName == bodyName || objectName == ruleName) {
        return !objectName.isEmpty();
    }
    for (const TReportBand *band : {&reportTitle, &masterData, &pageFooter}) {
        for (const TReportText &object : band->texts) {
            if (object.name == objectName) {
                return true;
            }
        }
    }
    return false;
}

TReportTemplate PingReportTemplate() {
    TReportTemplate t;
    t.name = QStringLiteral("PingReport");
    t.page = QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                         QPageLayout::Millimeter);

    t.reportTitle.name = QStringLiteral("ReportTitle");
    t.reportTitle.heightMm = 41;
    t.reportTitle.texts = {
        Text(QStringLiteral("Memo21"), 1, 1, 54, 6, ReportMakerName(), 16, true, false, kDarkGrey,
             Qt::AlignLeft),
        Text(QStringLiteral("Memo1"), 1, 15, 190, 11, QStringLiteral("ADDRESS ANALYSIS RESULTS"),
             32, true, false, QColor(0, 128, 192), Qt::AlignHCenter),
        Text(QStringLiteral("Memo6"), 160, 35, 29, 5, QStringLiteral("For official use"), 13, false,
             true, kDarkGrey, Qt::AlignRight),
    };
    t.ruleName = QStringLiteral("Shape2");
    t.ruleTopMm = 35;
    t.ruleColor = QColor(192, 192, 192);

    t.masterData.name = QStringLiteral("MasterData1");
    t.masterData.heightMm = 198;
    t.bodyName = QStringLiteral("ResultMemo");
    t.bodyRectMm = QRectF(10, 9, 170, 179);
    t.bodyFontFamily = QStringLiteral("Tahoma");

    t.pageFooter.name = QStringLiteral("PageFooter1");
    t.pageFooter.heightMm = 5;
    // The right-hand group "Page: N of M" ends at the band's right edge (190 mm).
    t.pageFooter.texts = {
        Text(QStringLiteral("Memo23"), 0, 0, 47, 5, QStringLiteral("Tarvex - version 1.0.0.1"), 13,
             false, true, kDarkGrey, Qt::AlignLeft),
        Text(QStringLiteral("Memo20"), 145, 0, 14, 5, QStringLiteral("Page:"), 13, false, false,
             kDarkGrey, Qt::AlignRight),
        Text(QStringLiteral("SysMemo1"), 159, 0, 10, 5, QStringLiteral("[PAGE#]"), 13, false, false,
             kDarkGrey, Qt::AlignRight),
        Text(QStringLiteral("Memo19"), 169, 0, 6, 5, QStringLiteral("of"), 13, false, false,
             kDarkGrey, Qt::AlignHCenter),
        Text(QStringLiteral("SysMemo2"), 175, 0, 15, 5, QStringLiteral("[TOTALPAGES#]"), 13, false,
             false, kDarkGrey, Qt::AlignLeft),
    };
    return t;
}

TPreparedReport::TPreparedReport(const TReportTemplate &reportTemplate, const QTextDocument &body)
    : template_(reportTemplate), body_(body.clone()) {
    const QRectF paper = template_.page.fullRectPixels(qRound(kReportDpi));
    pageSize_ = paper.size();
    const QRectF content = template_.page.paintRectPixels(qRound(kReportDpi));
    contentOrigin_ = content.topLeft();
    contentHeight_ = content.height();
    contentWidth_ = content.width();

    body_->setUndoRedoEnabled(false);
    QFont defaultFont = body_->defaultFont();
    if (!template_.bodyFontFamily.isEmpty()) {
        defaultFont.setFamilies({template_.bodyFontFamily});
    }
    if (template_.bodyFontPointSize > 0) {
        defaultFont.setPointSize(template_.bodyFontPointSize);
    }
    body_->setDefaultFont(defaultFont);
    if (template_.bodyDetectLinks) {
        DetectLinks(body_.get());
    }
    // The body comes from editors that never wrap, and a clone keeps their setting; on a page
    // a line wider than the body would be cut at the margin.
    QTextOption wrapping = body_->defaultTextOption();
    wrapping.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    body_->setDefaultTextOption(wrapping);
    PrintTextColorsForPaper(body_.get());
    body_->documentLayout()->setPaintDevice(LayoutDevice());
    body_->setUseDesignMetrics(true);
    body_->setDocumentMargin(0);
    const QRectF bodyRect(MmToPx(template_.bodyRectMm.x()), MmToPx(template_.bodyRectMm.y()),
                          MmToPx(template_.bodyRectMm.width()),
                          MmToPx(template_.bodyRectMm.height()));
    body_->setTextWidth(bodyRect.width() - 2 * template_.bodyGapXPx);
    QAbstractTextDocumentLayout *layout = body_->documentLayout();
    const double documentHeight = layout->documentSize().height();  // lays out the whole body

    // Page 1 starts the body under the title band; the following pages continue it at the top
    // of the page. Every page ends above the footer.
    const double footerTop = contentHeight_ - MmToPx(template_.pageFooter.heightMm);
    const double firstTop = MmToPx(template_.reportTitle.heightMm) + bodyRect.y();
    const QPointF gap(template_.bodyGapXPx, template_.bodyGapYPx);
    const auto startPage = [&](int position, double sliceTop) {
        TReportPage page;
        page.bodyStart = position;
        page.sliceTop = sliceTop;
        const double top = pages_.isEmpty() ? firstTop : 0.0;
        page.bodyOrigin = contentOrigin_ + QPointF(bodyRect.x(), top) + gap;
        pages_.append(page);
    };
    const auto available = [&]() {
        return footerTop - (pages_.size() == 1 ? firstTop : 0.0) - 2 * template_.bodyGapYPx;
    };

    // One pass over the laid-out lines: a line that would cross the page's bottom starts the
    // next page, so every line is printed whole on exactly one page.
    startPage(0, 0);
    double limit = available();
    bool pageHasLines = false;
    for (QTextBlock block = body_->begin(); block.isValid(); block = block.next()) {
        const QTextLayout *blockLayout = block.layout();
        const double blockTop = layout->blockBoundingRect(block).top();
        for (int i = 0; i < blockLayout->lineCount(); ++i) {
            const QTextLine line = blockLayout->lineAt(i);
            const double top = blockTop + line.y();
            const double bottom = top + line.height();
            if (pageHasLines && bottom - pages_.last().sliceTop > limit) {
                const int position = block.position() + line.textStart();
                pages_.last().bodyEnd = position;
                pages_.last().sliceBottom = top;
                startPage(position, top);
                limit = available();
            }
            pageHasLines = true;
        }
    }
    // The last page runs to the end, the closing paragraph included.
    pages_.last().bodyEnd = body_->characterCount();
    pages_.last().sliceBottom = std::max(pages_.last().sliceTop, documentHeight);
}

TPreparedReport::~TPreparedReport() = default;

QRectF TPreparedReport::BandRect(int index, const TReportBand &band) const {
    if (&band == &template_.reportTitle) {
        return index == 0 ? QRectF(contentOrigin_, QSizeF(contentWidth_, MmToPx(band.heightMm)))
                          : QRectF();
    }
    if (&band == &template_.pageFooter) {
        const double height = MmToPx(band.heightMm);
        return QRectF(contentOrigin_.x(), contentOrigin_.y() + contentHeight_ - height,
                      contentWidth_, height);
    }
    return QRectF();
}

QString TPreparedReport::FillSystemTexts(const QString &text, int index) const {
    QString filled = text;
    filled.replace(QLatin1String("[PAGE#]"), QString::number(index + 1));
    filled.replace(QLatin1String("[TOTALPAGES#]"), QString::number(PageCount()));
    return filled;
}

QList<TReportText> TPreparedReport::PageObjects(int index) const {
    QList<TReportText> objects;
    if (index == 0) {
        objects.append(template_.reportTitle.texts);
    }
    for (TReportText object : template_.pageFooter.texts) {
        object.text = FillSystemTexts(object.text, index);
        objects.append(object);
    }
    return objects;
}

QRectF TPreparedReport::ObjectRect(int index, const TReportText &object) const {
    const bool inTitle =
        std::any_of(template_.reportTitle.texts.begin(), template_.reportTitle.texts.end(),
                    [&](const TReportText &t) { return t.name == object.name; });
    const QRectF band = BandRect(index, inTitle ? template_.reportTitle : template_.pageFooter);
    return QRectF(band.left() + MmToPx(object.rectMm.x()), band.top() + MmToPx(object.rectMm.y()),
                  MmToPx(object.rectMm.width()), MmToPx(object.rectMm.height()));
}

void TPreparedReport::RenderPage(QPainter &painter, int index) const {
    const TReportPage &page = pages_.at(index);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(QRectF(QPointF(0, 0), pageSize_), Qt::white);

    for (const TReportText &object : PageObjects(index)) {
        const QFont font = object.Font();
        const QFontMetricsF metrics(font, LayoutDevice());
        const QRectF box = ObjectRect(index, object);
        const double width = metrics.horizontalAdvance(object.text);
        const QRectF textRect(AlignedLeft(box, width, object.alignment), box.top(), width,
                              std::max(box.height(), metrics.height()));
        painter.setFont(font);
        painter.setPen(object.color);
        painter.drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, object.text);
    }
    if (index == 0 && !template_.ruleName.isEmpty()) {
        const QRectF band = BandRect(0, template_.reportTitle);
        const double y = band.top() + MmToPx(template_.ruleTopMm);
        painter.setPen(QPen(template_.ruleColor, 1.0));
        painter.drawLine(QPointF(band.left(), y), QPointF(band.right(), y));
    }

    // The body slice: only the paragraphs on this page are drawn, clipped to the slice so a
    // paragraph split between pages shows only its lines of this page.
    const QRectF slice(page.bodyOrigin,
                       QSizeF(body_->textWidth(), page.sliceBottom - page.sliceTop));
    painter.setClipRect(slice.adjusted(-2, 0, 2, 0), Qt::IntersectClip);
    painter.setPen(Qt::black);
    const QPointF shift = page.bodyOrigin - QPointF(0, page.sliceTop);
    // A block's layout already knows its place in the body; `shift` moves the body so that the
    // slice lands on the page, and lines outside the slice are skipped.
    for (QTextBlock block = body_->findBlock(page.bodyStart);
         block.isValid() && block.position() < page.bodyEnd; block = block.next()) {
        block.layout()->draw(&painter, shift, {}, slice);
    }
    painter.restore();
}

QString TPreparedReport::PageBodyText(int index) const {
    const TReportPage &page = pages_.at(index);
    QStringList paragraphs;
    for (QTextBlock block = body_->findBlock(page.bodyStart);
         block.isValid() && block.position() < page.bodyEnd; block = block.next()) {
        const int from = std::max(page.bodyStart, block.position()) - block.position();
        const int to =
            std::min(page.bodyEnd, block.position() + block.length() - 1) - block.position();
        paragraphs.append(block.text().mid(from, to - from));
    }
    return paragraphs.join(QLatin1Char('\n'));
}

QList<TReportTextItem> TPreparedReport::PageTexts(int index) const {
    QList<TReportTextItem> items;
    const QList<TReportText> objects = PageObjects(index);
    const int titleCount = index == 0 ? static_cast<int>(template_.reportTitle.texts.size()) : 0;
    for (int i = 0; i < titleCount; ++i) {
        items.append({objects.at(i).text, -1, i});
    }
    const TReportPage &page = pages_.at(index);
    for (QTextBlock block = body_->findBlock(page.bodyStart);
         block.isValid() && block.position() < page.bodyEnd; block = block.next()) {
        const int from = std::max(page.bodyStart, block.position());
        const int to = std::min(page.bodyEnd, block.position() + block.length() - 1);
        items.append({block.text().mid(from - block.position(), to - from), from, -1});
    }
    for (int i = titleCount; i < objects.size(); ++i) {
        items.append({objects.at(i).text, -1, i});
    }
    return items;
}

QList<QRectF> TPreparedReport::TextRects(int index, const TReportTextItem &item, int offset,
                                         int length) const {
    QList<QRectF> rects;
    if (item.docPosition < 0) {
        const QList<TReportText> objects = PageObjects(index);
        if (item.objectIndex < 0 || item.objectIndex >= objects.size()) {
            return rects;
        }
        const TReportText &object = objects.at(item.objectIndex);
        const QFontMetricsF metrics(object.Font(), LayoutDevice());
        const QRectF box = ObjectRect(index, object);
        const double left =
            AlignedLeft(box, metrics.horizontalAdvance(object.text), object.alignment);
        const double x = left + metrics.horizontalAdvance(object.text.left(offset));
        rects.append(QRectF(x, box.top(),
                            metrics.horizontalAdvance(object.text.mid(offset, length)),
                            metrics.height()));
        return rects;
    }
    const TReportPage &page = pages_.at(index);
    const int start = item.docPosition + offset;
    const int end = start + length;
    const QTextBlock block = body_->findBlock(start);
    if (!block.isValid()) {
        return rects;
    }
    const QTextLayout *blockLayout = block.layout();
    const QPointF blockTop = body_->documentLayout()->blockBoundingRect(block).topLeft();
    for (int i = 0; i < blockLayout->lineCount(); ++i) {
        const QTextLine line = blockLayout->lineAt(i);
        const int lineStart = block.position() + line.textStart();
        const int lineEnd = lineStart + line.textLength();
        if (lineEnd <= start || lineStart >= end) {
            continue;
        }
        const double x1 = line.cursorToX(std::max(start, lineStart) - block.position());
        const double x2 = line.cursorToX(std::min(end, lineEnd) - block.position());
        const QPointF topLeft =
            page.bodyOrigin + blockTop + QPointF(std::min(x1, x2), line.y() - page.sliceTop);
        rects.append(QRectF(topLeft, QSizeF(std::abs(x2 - x1), line.height())));
    }
    return rects;
}

bool RenderReport(const TPreparedReport &report, QPagedPaintDevice &device, int first, int last,
                  const TReportProgress &progress) {
    if (last < 0 || last >= report.PageCount()) {
        last = report.PageCount() - 1;
    }
    first = std::clamp(first, 0, last);
    QPageLayout layout = report.Template().page;
    layout.setMinimumMargins(QMarginsF());
    layout.setMargins(QMarginsF());
    device.setPageLayout(layout);
    QPainter painter;
    if (!painter.begin(&device)) {
        throw TxError(
            QStringLiteral("The report could not be written: the output cannot be opened."));
    }
    // The device's own resolution may be anything (printer, PDF); report pixels are 1/96 inch.
    const double scaleX = device.logicalDpiX() / kReportDpi;
    const double scaleY = device.logicalDpiY() / kReportDpi;
    for (int index = first; index <= last; ++index) {
        if (index > first && !device.newPage()) {
            painter.end();
            throw TxError(QStringLiteral("The report could not be written: no new page."));
        }
        painter.save();
        painter.scale(scaleX, scaleY);
        report.RenderPage(painter, index);
        painter.restore();
        if (progress && !progress(index - first + 1, last - first + 1)) {
            painter.end();
            return false;
        }
    }
    painter.end();
    return true;
}

void DetectLinks(QTextDocument *document) {
    static const QRegularExpression link(
        QStringLiteral("\\b(?:(?:https?|ftp|file|news|telnet)://|mailto:|www\\.)[^\\s<>\"]+"),
        QRegularExpression::CaseInsensitiveOption);
    // Punctuation that ends a sentence or closes a bracket around an address is not part of it.
    static const QString closing = QStringLiteral(".,;:!?'\")]}>");
    QTextCursor cursor(document);
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        // Most paragraphs hold no address; skip them before the expression runs.
        if (!text.contains(QLatin1String("://")) &&
            !text.contains(QLatin1String("www."), Qt::CaseInsensitive) &&
            !text.contains(QLatin1String("mailto:"), Qt::CaseInsensitive)) {
            continue;
        }
        for (auto it = link.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            QString address = match.captured();
            while (!address.isEmpty() && closing.contains(address.back())) {
                address.chop(1);
            }
            if (address.endsWith(QLatin1String("://")) || address.size() <= 4) {
                continue;
            }
            QTextCharFormat format;
            format.setAnchor(true);
            format.setAnchorHref(address.startsWith(QLatin1String("www."), Qt::CaseInsensitive)
                                     ? QStringLiteral("http://") + address
                                     : address);
            format.setFontUnderline(true);
            format.setForeground(QColor(0, 0, 255));
            cursor.setPosition(block.position() + match.capturedStart());
            cursor.setPosition(block.position() + match.capturedStart() + address.size(),
                               QTextCursor::KeepAnchor);
            cursor.mergeCharFormat(format);
        }
    }
}

// A zoom between two tenths (a fitted one, say 63 %) steps to the next tenth on its side (70 % up,
// 60 % down), not a whole tenth away; the small allowance keeps 0.3 (held as 0.29999...) a tenth.
double ReportZoomUp(double zoom) {
    const double next = (std::floor(zoom * 10 + 1e-6) + 1) / 10;
    return next > 3.0 ? 3.0 : next;
}

double ReportZoomDown(double zoom) {
    const double next = (std::ceil(zoom * 10 - 1e-6) - 1) / 10;
    return next < 0.1 ? 0.1 : next;
}

bool TReportSearch::Start(const TPreparedReport &report, const QString &text) {
    Stop();
    if (text.isEmpty()) {
        return false;
    }
    text_ = text;
    return FindFrom(report, 0, 0, 0);
}

bool TReportSearch::Next(const TPreparedReport &report) {
    wrapped_ = false;
    if (!Running()) {
        return false;
    }
    if (hit_.page < 0) {
        return FindFrom(report, 0, 0, 0);
    }
    if (passedEnd_) {
        // The user was told that the last hit was passed; this search goes round to the start.
        passedEnd_ = false;
        wrapped_ = true;
        return FindFrom(report, 0, 0, 0);
    }
    if (FindFrom(report, hit_.page, hit_.item, hit_.offset + 1)) {
        return true;
    }
    passedEnd_ = true;
    return false;
}

void TReportSearch::Stop() {
    text_.clear();
    hit_ = Hit();
    passedEnd_ = false;
    wrapped_ = false;
}

bool TReportSearch::FindFrom(const TPreparedReport &report, int page, int item, int offset) {
    for (int p = page; p < report.PageCount(); ++p) {
        const QList<TReportTextItem> items = report.PageTexts(p);
        for (int i = (p == page ? item : 0); i < items.size(); ++i) {
            const int from = (p == page && i == item) ? offset : 0;
            const int found = items.at(i).text.indexOf(text_, from, Qt::CaseInsensitive);
            if (found >= 0) {
                hit_ = {p, i, found, static_cast<int>(text_.size())};
                return true;
            }
        }
    }
    return false;
}
