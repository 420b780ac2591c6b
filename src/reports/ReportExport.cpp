#include "reports/ReportExport.h"

#include <QBuffer>
#include <QDateTime>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QUrl>
#include <algorithm>

#include "common/Errors.h"
#include "common/SafeFile.h"
#include "files/Rtf.h"
#include "reports/ReportEngine.h"

namespace {

// A PDF text string as UTF-16BE with a byte-order mark, written in hexadecimal: no escaping
// rules to get wrong and any character survives.
QByteArray PdfText(const QString &text) {
    QByteArray bytes("<FEFF");
    for (const QChar c : text) {
        bytes += QByteArray::number(c.unicode(), 16).rightJustified(4, '0').toUpper();
    }
    bytes += '>';
    return bytes;
}

// The value after `key` in a PDF dictionary text, e.g. "/Size 12" -> "12", "/Root 3 0 R" ->
// "3 0 R".
QByteArray DictionaryValue(const QByteArray &dictionary, const char *key, bool reference) {
    const QRegularExpression pattern(
        QStringLiteral("/%1\\s+(\\d+%2)")
            .arg(QLatin1String(key), reference ? QStringLiteral("\\s+\\d+\\s+R") : QString()));
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(dictionary));
    return match.hasMatch() ? match.captured(1).toLatin1() : QByteArray();
}

QString HtmlEscape(const QString &text) {
    return text.toHtmlEscaped();
}

QString CssColor(const QColor &color) {
    return color.name(QColor::HexRgb);
}

QString Mm(double value) {
    return QString::number(value, 'f', 2) + QStringLiteral("mm");
}

// The CSS of one run of body text.
QString RunStyle(const QTextCharFormat &format, const QFont &defaultFont) {
    QStringList style;
    const QStringList families = format.hasProperty(QTextFormat::FontFamilies)
                                     ? format.fontFamilies().toStringList()
                                     : defaultFont.families();
    const QString family = families.isEmpty() ? defaultFont.family() : families.first();
    style << QStringLiteral("font-family:'%1'").arg(HtmlEscape(family));
    const double points = format.hasProperty(QTextFormat::FontPointSize) ? format.fontPointSize()
                                                                         : defaultFont.pointSizeF();
    if (points > 0) {
        style << QStringLiteral("font-size:%1pt").arg(points);
    }
    if (format.fontWeight() >= QFont::DemiBold) {
        style << QStringLiteral("font-weight:bold");
    }
    if (format.fontItalic()) {
        style << QStringLiteral("font-style:italic");
    }
    if (format.fontUnderline()) {
        style << QStringLiteral("text-decoration:underline");
    }
    if (format.foreground().style() != Qt::NoBrush) {
        style << QStringLiteral("color:%1").arg(CssColor(format.foreground().color()));
    }
    return style.join(QLatin1Char(';'));
}

QString ImageHtml(const QTextDocument &document, const QTextImageFormat &format) {
    const QVariant resource = document.resource(QTextDocument::ImageResource, QUrl(format.name()));
    QImage image = resource.value<QImage>();
    if (image.isNull()) {
        image = QImage::fromData(resource.toByteArray());
    }
    if (image.isNull()) {
        return QString();
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    QString size;
    if (format.width() > 0) {
        size += QStringLiteral(" width=\"%1\"").arg(format.width());
    }
    if (format.height() > 0) {
        size += QStringLiteral(" height=\"%1\"").arg(format.height());
    }
    return QStringLiteral("<img src=\"data:image/png;base64,%1\"%2>")
        .arg(QString::fromLatin1(png.toBase64()), size);
}

// The HTML of the body paragraphs on one page.
QString BodyHtml(const TPreparedReport &report, int index) {
    const TReportPage &page = report.Page(index);
    const QTextDocument &body = report.Body();
    QString html;
    for (QTextBlock block = body.findBlock(page.bodyStart);
         block.isValid() && block.position() < page.bodyEnd; block = block.next()) {
        const int from = std::max(page.bodyStart, block.position());
        const int to = std::min(page.bodyEnd, block.position() + block.length() - 1);
        QString paragraph;
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const int start = std::max(from, fragment.position());
            const int end = std::min(to, fragment.position() + fragment.length());
            if (start >= end) {
                continue;
            }
            const QString text = fragment.text().mid(start - fragment.position(), end - start);
            if (fragment.charFormat().isImageFormat()) {
                paragraph += ImageHtml(body, fragment.charFormat().toImageFormat());
                continue;
            }
            QString escaped = HtmlEscape(text);
            escaped.replace(QChar::LineSeparator, QStringLiteral("<br>"));
            QString run = QStringLiteral("<span style=\"%1\">%2</span>")
                              .arg(RunStyle(fragment.charFormat(), body.defaultFont()), escaped);
            const QString href = fragment.charFormat().anchorHref();
            if (fragment.charFormat().isAnchor() && !href.isEmpty()) {
                run = QStringLiteral("<a href=\"%1\">%2</a>").arg(HtmlEscape(href), run);
            }
            paragraph += run;
        }
        const Qt::Alignment alignment = block.blockFormat().alignment();
        const QString align = (alignment & Qt::AlignHCenter) ? QStringLiteral("center")
                              : (alignment & Qt::AlignRight) ? QStringLiteral("right")
                                                             : QStringLiteral("left");
        // An empty paragraph still takes one line, as in the preview.
        if (paragraph.isEmpty()) {
            paragraph = QStringLiteral("<span style=\"%1\">&nbsp;</span>")
                            .arg(RunStyle(block.charFormat(), body.defaultFont()));
        }
        const QString wrap = block.blockFormat().nonBreakableLines()
                                 ? QStringLiteral(";white-space:pre")
                                 : QString();
        html += QStringLiteral("<p style=\"text-align:%1%2\">%3</p>\n").arg(align, wrap, paragraph);
    }
    return html;
}

QString ObjectHtml(const TPreparedReport &report, int index, const TReportText &object) {
    const QRectF rect = report.ObjectRect(index, object);
    const double toMm = 25.4 / kReportDpi;
    const QString align = (object.alignment & Qt::AlignRight)     ? QStringLiteral("right")
                          : (object.alignment & Qt::AlignHCenter) ? QStringLiteral("center")
                                                                  : QStringLiteral("left");
    return QStringLiteral(
               "<div class=\"object\" style=\"left:%1;top:%2;width:%3;height:%4;"
               "font-family:'%5';font-size:%6px;%7%8color:%9;text-align:%10\">%11</div>\n")
        .arg(Mm(rect.left() * toMm), Mm(rect.top() * toMm), Mm(rect.width() * toMm),
             Mm(rect.height() * toMm), object.family, QString::number(object.pixelSize),
             object.bold ? QStringLiteral("font-weight:bold;") : QString(),
             object.italic ? QStringLiteral("font-style:italic;") : QString(),
             CssColor(object.color), align, HtmlEscape(object.text));
}

QTextCharFormat ObjectFormat(const TReportText &object) {
    QTextCharFormat format;
    format.setFontFamilies({object.family});
    // The objects are sized in pixels at 96 dpi; rich text wants points.
    format.setFontPointSize(object.pixelSize * 72.0 / kReportDpi);
    format.setFontWeight(object.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(object.italic);
    format.setForeground(object.color);
    return format;
}

}  // namespace

TPdfInfo ReportPdfInfo() {
    TPdfInfo info;
    info.title = QStringLiteral("Tarvex Report");
    info.author = ReportMakerName();
    info.subject = QStringLiteral("Tarvex Standard Report");
    info.keywords = QStringList{ReportProductName(), ReportMakerName(), ReportMakerFolder()}.join(
        QStringLiteral(", "));
    info.creator = QStringLiteral("Tarvex 1.0.0.1");
    return info;
}

QByteArray ReportToPdf(const TPreparedReport &report, const TPdfInfo &info,
                       const TReportProgress &progress) {
    QByteArray pdf;
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setResolution(1200);
        writer.setTitle(info.title);
        writer.setCreator(info.creator);
        if (!RenderReport(report, writer, 0, -1, progress)) {
            return QByteArray();
        }
    }
    return SetPdfInfo(pdf, info);
}

QByteArray SetPdfInfo(const QByteArray &pdf, const TPdfInfo &info) {
    const QByteArray startxrefKey("startxref");
    const qsizetype startxrefAt = pdf.lastIndexOf(startxrefKey);
    const qsizetype trailerAt = pdf.lastIndexOf("trailer", startxrefAt);
    if (startxrefAt < 0 || trailerAt < 0) {
        throw TxError(QStringLiteral("The PDF document has no trailer to extend."));
    }
    const QByteArray trailer = pdf.mid(trailerAt, startxrefAt - trailerAt);
    const QByteArray previousXref =
        pdf.mid(startxrefAt + startxrefKey.size()).trimmed().split('\n').value(0).trimmed();
    const QByteArray sizeText = DictionaryValue(trailer, "Size", false);
    const QByteArray root = DictionaryValue(trailer, "Root", true);
    bool sizeOk = false;
    const long long size = sizeText.toLongLong(&sizeOk);
    if (!sizeOk || root.isEmpty() || previousXref.isEmpty()) {
        throw TxError(QStringLiteral("The PDF document has no trailer to extend."));
    }

    // An incremental update: the original bytes stay as they are, a new information dictionary
    // is appended, and a new cross-reference section and trailer point at it.
    QByteArray out = pdf;
    if (!out.endsWith('\n')) {
        out += '\n';
    }
    const qsizetype infoAt = out.size();
    const QString date = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmss"));
    out += QByteArray::number(size) + " 0 obj\n<<\n";
    out += "/Title " + PdfText(info.title) + "\n";
    out += "/Author " + PdfText(info.author) + "\n";
    out += "/Subject " + PdfText(info.subject) + "\n";
    out += "/Keywords " + PdfText(info.keywords) + "\n";
    out += "/Creator " + PdfText(info.creator) + "\n";
    out += "/Producer " + PdfText(info.creator) + "\n";
    out += "/CreationDate (D:" + date.toLatin1() + "Z)\n";
    out += ">>\nendobj\n";
    const qsizetype xrefAt = out.size();
    out += "xref\n" + QByteArray::number(size) + " 1\n";
    out += QByteArray::number(infoAt).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<<\n/Size " + QByteArray::number(size + 1) + "\n/Root " + root + "\n/Info " +
           QByteArray::number(size) + " 0 R\n/Prev " + previousXref + "\n>>\n";
    out += "startxref\n" + QByteArray::number(xrefAt) + "\n%%EOF\n";
    return out;
}

QByteArray ReportToHtml(const TPreparedReport &report, const TReportProgress &progress) {
    const QSizeF page = report.PageSize();
    const double toMm = 25.4 / kReportDpi;
    QString html =
        QStringLiteral(
            "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
            "<title>%1</title>\n<style>\n"
            ".page{position:relative;width:%2;height:%3;margin:0 0 8mm 0;"
            "border:1px solid #c0c0c0;overflow:hidden}\n"
            ".object{position:absolute;white-space:nowrap;line-height:1.15}\n"
            ".rule{position:absolute;height:0;border-top:1px solid #c0c0c0}\n"
            ".body{position:absolute;overflow:hidden}\n"
            ".body p{margin:0;white-space:pre-wrap;overflow-wrap:anywhere;line-height:1.15}\n"
            "</style>\n</head>\n<body>\n")
            .arg(HtmlEscape(ReportPdfInfo().title), Mm(page.width() * toMm),
                 Mm(page.height() * toMm));
    const TReportTemplate &t = report.Template();
    for (int index = 0; index < report.PageCount(); ++index) {
        html += QStringLiteral("<div class=\"page\" id=\"page%1\">\n").arg(index + 1);
        const QList<TReportText> objects = report.PageObjects(index);
        for (const TReportText &object : objects) {
            html += ObjectHtml(report, index, object);
        }
        if (index == 0 && !t.ruleName.isEmpty()) {
            const QMarginsF margins = t.page.margins(QPageLayout::Millimeter);
            html += QStringLiteral("<div class=\"rule\" style=\"left:%1;top:%2;width:%3\"></div>\n")
                        .arg(Mm(margins.left()), Mm(margins.top() + t.ruleTopMm),
                             Mm(page.width() * toMm - margins.left() - margins.right()));
        }
        const TReportPage &p = report.Page(index);
        html += QStringLiteral("<div class=\"body\" style=\"left:%1;top:%2;width:%3\">\n")
                    .arg(Mm(p.bodyOrigin.x() * toMm), Mm(p.bodyOrigin.y() * toMm),
                         Mm(report.Body().textWidth() * toMm));
        html += BodyHtml(report, index);
        html += QStringLiteral("</div>\n</div>\n");
        if (progress && !progress(index + 1, report.PageCount())) {
            return QByteArray();
        }
    }
    html += QStringLiteral("</body>\n</html>\n");
    return html.toUtf8();
}

bool BuildReportTextDocument(const TPreparedReport &report, QTextDocument &target,
                             const TReportProgress &progress) {
    target.clear();
    target.setDefaultFont(report.Body().defaultFont());
    QTextCursor cursor(&target);
    bool first = true;
    const auto newParagraph = [&](Qt::Alignment alignment, bool pageBreak) {
        QTextBlockFormat block;
        block.setAlignment(alignment);
        if (pageBreak) {
            block.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        }
        if (first) {
            cursor.setBlockFormat(block);
            first = false;
        } else {
            cursor.insertBlock(block);
        }
    };
    const QTextDocument &body = report.Body();
    const double contentWidth =
        MmToPx(report.Template().page.paintRect(QPageLayout::Millimeter).width());
    for (int index = 0; index < report.PageCount(); ++index) {
        bool pageStart = index > 0;
        const QList<TReportText> objects = report.PageObjects(index);
        const int titleCount =
            index == 0 ? static_cast<int>(report.Template().reportTitle.texts.size()) : 0;
        for (int i = 0; i < titleCount; ++i) {
            newParagraph(objects.at(i).alignment, pageStart);
            pageStart = false;
            cursor.insertText(objects.at(i).text, ObjectFormat(objects.at(i)));
        }
        if (titleCount > 0) {
            newParagraph(Qt::AlignLeft, false);
        }
        const TReportPage &page = report.Page(index);
        for (QTextBlock block = body.findBlock(page.bodyStart);
             block.isValid() && block.position() < page.bodyEnd; block = block.next()) {
            newParagraph(block.blockFormat().alignment(), pageStart);
            pageStart = false;
            cursor.setBlockCharFormat(block.charFormat());
            const int from = std::max(page.bodyStart, block.position());
            const int to = std::min(page.bodyEnd, block.position() + block.length() - 1);
            for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                const int start = std::max(from, fragment.position());
                const int end = std::min(to, fragment.position() + fragment.length());
                if (start < end) {
                    cursor.insertText(fragment.text().mid(start - fragment.position(), end - start),
                                      fragment.charFormat());
                }
            }
        }
        // The footer as one line of text after an empty one: its first object (the version) on
        // the left, the others ("Page:", N, "of", M) after a tab that ends at the right margin.
        newParagraph(Qt::AlignLeft, pageStart);
        newParagraph(Qt::AlignLeft, false);
        QTextBlockFormat footer = cursor.blockFormat();
        footer.setTabPositions({QTextOption::Tab(contentWidth, QTextOption::RightTab)});
        cursor.setBlockFormat(footer);
        QStringList right;
        for (int i = titleCount + 1; i < objects.size(); ++i) {
            right << objects.at(i).text;
        }
        if (titleCount < objects.size()) {
            const TReportText &left = objects.at(titleCount);
            cursor.insertText(left.text + QStringLiteral("\t"), ObjectFormat(left));
            TReportText plain = objects.constLast();
            cursor.insertText(right.join(QLatin1Char(' ')), ObjectFormat(plain));
        }
        // One more step than pages: writing the document out.
        if (progress && !progress(index + 1, report.PageCount() + 1)) {
            return false;
        }
    }
    return true;
}

QByteArray ReportToRtf(const TPreparedReport &report, const TReportProgress &progress) {
    QTextDocument document;
    if (!BuildReportTextDocument(report, document, progress)) {
        return QByteArray();
    }
    QByteArray rtf = WriteRtf(document, QColor(), report.Template().page);
    if (progress && !progress(report.PageCount() + 1, report.PageCount() + 1)) {
        return QByteArray();
    }
    return rtf;
}

void WriteReportFile(const QString &path, const QByteArray &data) {
    try {
        WriteFileSafely(path, data);
    } catch (const TxError &error) {
        throw TxError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, error.Message()));
    }
}

bool ExportReport(const TPreparedReport &report, int mode, const QString &path,
                  const TReportProgress &progress) {
    bool cancelled = false;
    const TReportProgress watch = [&progress, &cancelled](int done, int total) {
        if (progress && !progress(done, total)) {
            cancelled = true;
        }
        return !cancelled;
    };
    QByteArray data;
    switch (mode) {
        case 3:
            data = ReportToPdf(report, ReportPdfInfo(), watch);
            break;
        case 4:
            data = ReportToRtf(report, watch);
            break;
        case 5:
            data = ReportToHtml(report, watch);
            break;
        default:
            throw TxError(QStringLiteral("Unknown export format %1.").arg(mode));
    }
    // The whole file is made in memory first, so a cancelled export has written nothing yet.
    if (cancelled) {
        return false;
    }
    WriteReportFile(path, data);
    return true;
}
