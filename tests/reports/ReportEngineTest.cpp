#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextOption>
#include <cmath>
#include <memory>

#include "common/Errors.h"
#include "files/Rtf.h"
#include "reports/ReportBody.h"
#include "reports/ReportEngine.h"
#include "reports/ReportExport.h"
#include "reports/ReportSamples.h"
#include "support/FullDisk.h"
#include "support/TestSupport.h"

namespace {

std::unique_ptr<TPreparedReport> Prepare(const QStringList &paneLines) {
    QTextDocument body;
    BuildReportBody(paneLines, body);
    return std::make_unique<TPreparedReport>(PingReportTemplate(), body);
}

QString RunTool(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString()
                      << " failed: " << process.readAllStandardError().toStdString();
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The texts of every page object and body piece of a page, joined.
QString PageTextsJoined(const TPreparedReport &report, int page) {
    QStringList texts;
    for (const TReportTextItem &item : report.PageTexts(page)) {
        texts << item.text;
    }
    return texts.join(QLatin1Char('\n'));
}

}  // namespace

TEST(ReportEngine, TemplateHasTheDesignedBandsAndObjects) {
    const TReportTemplate t = PingReportTemplate();
    EXPECT_EQ(t.name, "PingReport");
    EXPECT_EQ(t.page.pageSize().id(), QPageSize::A4);
    EXPECT_EQ(t.page.orientation(), QPageLayout::Portrait);
    EXPECT_EQ(t.page.margins(QPageLayout::Millimeter), QMarginsF(10, 10, 10, 10));
    for (const char *name : {"Memo21", "Memo1", "Shape2", "Memo6", "ResultMemo", "Memo23", "Memo20",
                             "SysMemo1", "Memo19", "SysMemo2"}) {
        EXPECT_TRUE(t.HasObject(QString::fromLatin1(name))) << name;
    }
    EXPECT_FALSE(t.HasObject(QStringLiteral("Memo99")));
    const TReportText &title = t.reportTitle.texts.at(1);
    EXPECT_EQ(title.text, "ADDRESS ANALYSIS RESULTS");
    EXPECT_EQ(title.color, QColor(0, 128, 192));
    EXPECT_EQ(title.pixelSize, 32);
    EXPECT_TRUE(title.alignment & Qt::AlignHCenter);
    EXPECT_EQ(t.reportTitle.texts.at(0).text, ReportMakerName());
}

TEST(ReportEngine, EmptyBodyGivesOnePageWithTitleAndFooter) {
    const auto report = Prepare({});
    ASSERT_EQ(report->PageCount(), 1);
    EXPECT_EQ(report->PageBodyText(0), QString());
    QStringList texts;
    for (const TReportTextItem &item : report->PageTexts(0)) {
        texts << item.text;
    }
    EXPECT_EQ(texts, (QStringList{ReportMakerName(), "ADDRESS ANALYSIS RESULTS", "For official use",
                                  "", "Tarvex - version 1.0.0.1", "Page:", "1", "of", "1"}));
}

TEST(ReportEngine, LongBodyFlowsOverPagesWithoutLosingOrCuttingLines) {
    const QStringList lines = PingRunsLines(60);
    const auto report = Prepare(lines);
    ASSERT_GT(report->PageCount(), 3);

    // Every paragraph lands on exactly one page, in order, and no page runs into its footer.
    QStringList joined;
    const double footerTop = report->PageSize().height() - MmToPx(10) - MmToPx(5);
    for (int page = 0; page < report->PageCount(); ++page) {
        SCOPED_TRACE(page);
        joined << report->PageBodyText(page);
        const TReportPage &p = report->Page(page);
        EXPECT_LE(p.bodyOrigin.y() + (p.sliceBottom - p.sliceTop), footerTop + 0.01);
        if (page > 0) {
            EXPECT_EQ(p.bodyStart, report->Page(page - 1).bodyEnd);
            EXPECT_EQ(p.sliceTop, report->Page(page - 1).sliceBottom);
            // A continued page is full height, so it holds more than the first page.
            EXPECT_LT(p.bodyOrigin.y(), report->Page(0).bodyOrigin.y());
        }
        EXPECT_TRUE(
            PageTextsJoined(*report, page)
                .endsWith(
                    QStringLiteral("Page:\n%1\nof\n%2").arg(page + 1).arg(report->PageCount())));
    }
    const QString all = joined.join(QLatin1Char('\n'));
    const QString expected = report->Body().toPlainText();
    int diff = 0;
    while (diff < all.size() && diff < expected.size() && all[diff] == expected[diff]) {
        ++diff;
    }
    EXPECT_EQ(all.size(), expected.size());
    EXPECT_EQ(diff, expected.size()) << all.mid(diff - 40, 80).toStdString() << "\n---\n"
                                     << expected.mid(diff - 40, 80).toStdString();

    // Twice the body takes about twice the pages (the first page holds less, under the title).
    const auto twice = Prepare(PingRunsLines(120));
    EXPECT_GE(twice->PageCount(), 2 * report->PageCount() - 2);
    EXPECT_LE(twice->PageCount(), 2 * report->PageCount());
}

// A body as the pane editors leave it: they never wrap, and the document keeps that setting.
std::unique_ptr<QTextDocument> UnwrappedBody(const QStringList &paneLines) {
    auto body = std::make_unique<QTextDocument>();
    BuildReportBody(paneLines, *body);
    QTextOption option = body->defaultTextOption();
    option.setWrapMode(QTextOption::NoWrap);
    body->setDefaultTextOption(option);
    return body;
}

TEST(ReportEngine, LinesWiderThanTheBodyWrapInsteadOfBeingCut) {
    const QString words = QStringLiteral("remarks:        ") +
                          QStringLiteral("Please report abuse of this network range ").repeated(6);
    const QString oneWord = QStringLiteral("Pinging http://") + QString(240, QLatin1Char('x')) +
                            QStringLiteral(".example with 32 bytes of data:");
    // A traced route's table keeps its columns: smaller, each row on one line.
    const QString header = QStringLiteral("Hop  Address") + QString(58, QLatin1Char(' ')) +
                           QStringLiteral("Sent  Loss    Last     Avg    Best   Worst  Jitter");
    const QString hops =
        QStringLiteral("  7  a-rather-long-router-name.backbone.example.net [203.0.113.77]  ") +
        QStringLiteral("  100    0%  12.345  13.456  11.234  19.876   1.234");
    const auto body = UnwrappedBody({words, oneWord, header, hops, QString(),
                                     QStringLiteral("Minimum = 1 ms, Maximum = 2 ms, "
                                                    "Average = 1 ms")});
    const TPreparedReport report(PingReportTemplate(), *body);
    const QTextDocument &laid = report.Body();
    const double width = laid.textWidth();
    int wrapped = 0;
    for (QTextBlock block = laid.begin(); block.isValid(); block = block.next()) {
        const QTextLayout *layout = block.layout();
        if (block.text() == ReportRuleLine()) {
            // The rule stays one line, cut at the body's edge as a rule across the page.
            EXPECT_EQ(layout->lineCount(), 1);
            continue;
        }
        for (int i = 0; i < layout->lineCount(); ++i) {
            EXPECT_LE(layout->lineAt(i).naturalTextWidth(), width + 0.5)
                << block.text().toStdString() << " line " << i;
        }
        wrapped += layout->lineCount() > 1 ? 1 : 0;
        if (block.text() == header || block.text() == hops) {
            EXPECT_EQ(layout->lineCount(), 1) << block.text().toStdString();
            const double points = block.begin().fragment().charFormat().fontPointSize();
            EXPECT_LT(points, 9);
            EXPECT_GE(points, 6);
        }
    }
    EXPECT_EQ(wrapped, 2);
    // Nothing of the long lines is lost, and the source body is left as it was.
    const QString printed = report.PageBodyText(0);
    for (const QString &line : {words, oneWord, hops}) {
        EXPECT_TRUE(printed.contains(line.trimmed()));
    }
    EXPECT_EQ(body->defaultTextOption().wrapMode(), QTextOption::NoWrap);
}

TEST(ReportEngine, TextTooLightForPaperPrintsDarkInItsHue) {
    const struct {
        QColor written;
        bool kept;
    } cases[] = {
        {QColor(200, 200, 200), false},  // the panes' grey
        {QColor(192, 192, 192), false},  // clSilver
        {QColor(255, 255, 0), false},    // clYellow
        {QColor(0, 255, 0), false},      // clLime
        {QColor(0, 255, 255), false},    // clAqua
        {QColor(255, 255, 255), false},  // white on white
        {QColor(54, 54, 54), true},      // the body's own colour
        {QColor(0, 0, 255), true},       // a link
        {QColor(128, 0, 0), true},       // clMaroon reads on paper as it is
        {QColor(0, 0, 0), true},
    };
    QTextDocument body;
    QTextCursor cursor(&body);
    for (const auto &c : cases) {
        QTextCharFormat format;
        format.setForeground(c.written);
        if (!body.isEmpty()) {
            cursor.insertBlock();
        }
        cursor.insertText(QStringLiteral("Reply from 10.0.0.1;  Bytes=32  Time=21 ms  TTL=57"),
                          format);
    }
    const TPreparedReport report(PingReportTemplate(), body);
    QTextBlock block = report.Body().begin();
    QTextBlock source = body.begin();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.written.name().toStdString());
        ASSERT_TRUE(block.isValid());
        const QColor printed = block.begin().fragment().charFormat().foreground().color();
        EXPECT_EQ(PaperTextColor(c.written), printed);
        if (c.kept) {
            EXPECT_EQ(printed, c.written);
        } else {
            EXPECT_NE(printed, c.written);
            // Dark enough to read on white: at most the luminance of a 4.5:1 contrast ...
            EXPECT_LE(printed.lightnessF(), c.written.lightnessF());
            const auto linear = [](double v) {
                return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
            };
            const double luminance = 0.2126 * linear(printed.redF()) +
                                     0.7152 * linear(printed.greenF()) +
                                     0.0722 * linear(printed.blueF());
            EXPECT_GE(1.05 / (luminance + 0.05), 4.5);
            // ... and still the colour it was, only darker.
            if (c.written.hslSaturation() > 0) {
                EXPECT_NEAR(printed.hslHue(), c.written.hslHue(), 2);
            }
        }
        // The stored body keeps the colours it was given.
        EXPECT_EQ(source.begin().fragment().charFormat().foreground().color(), c.written);
        block = block.next();
        source = source.next();
    }
}

TEST(ReportEngine, ZoomStepsByTenthsBetweenTenAndThreeHundredPercent) {
    double zoom = 1.0;
    QList<int> downs;
    for (int i = 0; i < 10; ++i) {
        zoom = ReportZoomDown(zoom);
        downs << qRound(zoom * 100);
    }
    EXPECT_EQ(downs, (QList<int>{90, 80, 70, 60, 50, 40, 30, 20, 10, 10}));
    zoom = 1.0;
    for (int i = 0; i < 20; ++i) {
        zoom = ReportZoomUp(zoom);
    }
    EXPECT_EQ(zoom, 3.0);
    EXPECT_EQ(ReportZoomUp(zoom), 3.0);
    EXPECT_EQ(qRound(ReportZoomUp(0.1) * 100), 20);

    // A fitted zoom between two tenths steps to the tenth on its side, then on by tenths.
    const struct {
        double from;
        int up;
        int down;
    } rows[] = {
        {0.63, 70, 60}, {0.69, 70, 60},   {0.3, 40, 20}, {0.7, 80, 60},
        {0.11, 20, 10}, {2.95, 300, 290}, {0.1, 20, 10}, {3.0, 300, 290},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(qRound(ReportZoomUp(row.from) * 100), row.up) << row.from;
        EXPECT_EQ(qRound(ReportZoomDown(row.from) * 100), row.down) << row.from;
    }
}

TEST(ReportEngine, SearchFindsFirstThenNextOccurrenceIgnoringCase) {
    const auto report = Prepare(PingRunsLines(30));
    TReportSearch search;
    ASSERT_TRUE(search.Start(*report, QStringLiteral("PING STATISTICS FOR host1;")));
    const TReportSearch::Hit first = search.Current();
    EXPECT_EQ(first.page, 0);
    const QList<TReportTextItem> items = report->PageTexts(first.page);
    EXPECT_EQ(items.at(first.item).text.mid(first.offset, first.length),
              "Ping statistics for host1;");

    // "for host2;" is in the statistics line of run 2 and in nothing else; "TIME=20 ms" is in
    // reply lines of runs 0 and 4 (times 20 + (request + run) % 7).
    ASSERT_TRUE(search.Start(*report, QStringLiteral("time=20 MS")));
    const TReportSearch::Hit a = search.Current();
    const TReportTextItem firstItem = report->PageTexts(a.page).at(a.item);
    ASSERT_TRUE(search.Next(*report));
    const TReportSearch::Hit b = search.Current();
    const TReportTextItem secondItem = report->PageTexts(b.page).at(b.item);
    EXPECT_EQ(firstItem.text, "  Reply from 10.0.0.1;  Bytes=32  Time=20 ms  TTL=57");
    EXPECT_EQ(secondItem.text, "  Reply from 10.0.0.5;  Bytes=32  Time=20 ms  TTL=57");
    EXPECT_LT(firstItem.docPosition, secondItem.docPosition);
    ASSERT_TRUE(search.Start(*report, QStringLiteral("for host2;")));
    const TReportSearch::Hit only = search.Current();
    EXPECT_FALSE(search.Next(*report));
    EXPECT_EQ(search.Current().item, only.item);  // the last hit stays shown
    EXPECT_TRUE(search.PassedEnd());
    // Told that the last hit was passed, the next search goes round to the first one.
    EXPECT_TRUE(search.Next(*report));
    EXPECT_TRUE(search.Wrapped());
    EXPECT_FALSE(search.PassedEnd());
    EXPECT_EQ(search.Current().page, only.page);
    EXPECT_EQ(search.Current().item, only.item);
    // Going round in five runs, where "TIME=20 ms" is in runs 0 and 4 only: first, second, the
    // end, first again, second.
    const auto five = Prepare(PingRunsLines(5));
    TReportSearch round;
    ASSERT_TRUE(round.Start(*five, QStringLiteral("time=20 MS")));
    const auto replyOf = [&five](const TReportSearch::Hit &hit) {
        return five->PageTexts(hit.page).at(hit.item).text.mid(2, 19);
    };
    QStringList seen{replyOf(round.Current())};
    QList<bool> found;
    for (int i = 0; i < 4; ++i) {
        found << round.Next(*five);
        seen << replyOf(round.Current()) + (round.Wrapped() ? " (again)" : "");
    }
    EXPECT_EQ(found, (QList<bool>{true, false, true, true}));
    EXPECT_EQ(seen,
              (QStringList{"Reply from 10.0.0.1", "Reply from 10.0.0.5", "Reply from 10.0.0.5",
                           "Reply from 10.0.0.1 (again)", "Reply from 10.0.0.5"}));

    // Several hits in one text are found one after another; the search runs on over pages.
    ASSERT_TRUE(search.Start(*report, QStringLiteral("  ")));
    const TReportSearch::Hit x = search.Current();
    ASSERT_TRUE(search.Next(*report));
    EXPECT_EQ(search.Current().item, x.item);
    EXPECT_GT(search.Current().offset, x.offset);
    ASSERT_TRUE(search.Start(*report, QStringLiteral("host29;")));
    EXPECT_GE(search.Current().page, report->PageCount() - 2);
    EXPECT_TRUE(report->PageTexts(search.Current().page)
                    .at(search.Current().item)
                    .text.startsWith(QStringLiteral("Ping statistics for host29;")));

    // The highlight of a hit lies inside the page.
    const QList<QRectF> rects =
        report->TextRects(a.page, report->PageTexts(a.page).at(a.item), a.offset, a.length);
    ASSERT_EQ(rects.size(), 1);
    EXPECT_GT(rects.first().width(), 10);
    EXPECT_TRUE(QRectF(QPointF(0, 0), report->PageSize()).contains(rects.first()));

    search.Stop();
    EXPECT_FALSE(search.Next(*report));
    EXPECT_FALSE(search.Start(*report, QString()));
    EXPECT_FALSE(search.Start(*report, QStringLiteral("no such text")));
}

TEST(ReportEngine, PdfShowsTextsFooterAndDocumentInformation) {
    QTemporaryDir dir;
    const QStringList lines = PingRunsLines(1);
    const auto report = Prepare(lines);
    ASSERT_EQ(report->PageCount(), 1);
    const QString path = dir.filePath(QStringLiteral("three.pdf"));
    ExportReport(*report, 3, path);

    const QString text =
        RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, "-"});
    EXPECT_TRUE(text.contains(ReportMakerName()));
    EXPECT_TRUE(text.contains(QStringLiteral("ADDRESS ANALYSIS RESULTS")));
    EXPECT_TRUE(text.contains(QStringLiteral("For official use")));
    EXPECT_TRUE(text.contains(QStringLiteral("Tarvex - version 1.0.0.1")));
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Page:\\s+1\\s+of\\s+1"))));
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("Reply from"))) {
            // pdftotext renders runs of blanks by position; compare word by word.
            QString pattern = QRegularExpression::escape(line.simplified());
            pattern.replace(QStringLiteral("\\ "), QStringLiteral("\\s+"));
            EXPECT_TRUE(text.contains(QRegularExpression(pattern))) << line.toStdString();
        }
    }

    const QString info = RunTool(QStringLiteral("pdfinfo"), {path});
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Title:\\s+Tarvex Report\n"))));
    EXPECT_TRUE(info.contains(
        QRegularExpression(QStringLiteral("Author:\\s+%1\n").arg(ReportMakerName()))));
    EXPECT_TRUE(
        info.contains(QRegularExpression(QStringLiteral("Subject:\\s+Tarvex Standard Report\n"))));
    EXPECT_TRUE(info.contains(QRegularExpression(
        QStringLiteral("Keywords:\\s+Tarvex, %1, Haldrin\n").arg(ReportMakerName()))));
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\n"))));
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Page size:\\s+595 x 842"))));
}

TEST(ReportEngine, LongPdfHasTheRightPageCountAndAFooterOnEveryPage) {
    QTemporaryDir dir;
    const auto report = Prepare(PingRunsLines(500));
    const int pages = report->PageCount();
    ASSERT_GT(pages, 50);
    const QString path = dir.filePath(QStringLiteral("long.pdf"));
    ExportReport(*report, 3, path);
    const QString info = RunTool(QStringLiteral("pdfinfo"), {path});
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+%1\n").arg(pages))));
    const QString text =
        RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, "-"});
    const QStringList pageTexts = text.split(QChar(0x0C), Qt::SkipEmptyParts);
    ASSERT_GE(pageTexts.size(), pages);
    for (int page = 0; page < pages; ++page) {
        SCOPED_TRACE(page);
        EXPECT_TRUE(pageTexts.at(page).contains(QStringLiteral("Tarvex - version 1.0.0.1")));
        EXPECT_TRUE(pageTexts.at(page).contains(QRegularExpression(
            QStringLiteral("Page:\\s+%1\\s+of\\s+%2").arg(page + 1).arg(pages))));
    }
    EXPECT_TRUE(pageTexts.first().contains(QStringLiteral("ADDRESS ANALYSIS RESULTS")));
    EXPECT_FALSE(pageTexts.at(1).contains(QStringLiteral("ADDRESS ANALYSIS RESULTS")));
    EXPECT_TRUE(text.contains(QStringLiteral("Ping statistics for host499; IPv4 - 10.0.1.250")));
}

TEST(ReportEngine, HtmlHoldsThePagesInOrderWithBlanksKept) {
    const auto report = Prepare(PingRunsLines(40));
    const QString html = QString::fromUtf8(ReportToHtml(*report));
    int last = -1;
    for (int page = 1; page <= report->PageCount(); ++page) {
        const int at = html.indexOf(QStringLiteral("id=\"page%1\"").arg(page));
        ASSERT_GT(at, last) << page;
        last = at;
        EXPECT_TRUE(
            html.contains(QStringLiteral(">%1</div>").arg(page)));  // the page number of its footer
    }
    EXPECT_EQ(html.count(QStringLiteral("class=\"page\"")), report->PageCount());
    EXPECT_EQ(html.count(QStringLiteral("ADDRESS ANALYSIS RESULTS")), 1);
    EXPECT_EQ(html.count(QStringLiteral("Tarvex - version 1.0.0.1")), report->PageCount());
    EXPECT_TRUE(
        html.contains(QStringLiteral("  Reply from 10.0.0.1;  Bytes=32  Time=20 ms  TTL=57")));
    EXPECT_TRUE(html.contains(QStringLiteral("white-space:pre-wrap")));
    EXPECT_TRUE(html.contains(QStringLiteral("font-weight:bold")));
    EXPECT_TRUE(html.contains(QStringLiteral("Ping statistics for host0; IPv4 - 10.0.0.1")));
    EXPECT_EQ(html.count(ReportRuleLine()), 40);
    EXPECT_FALSE(html.contains(QStringLiteral("<script")));
}

TEST(ReportEngine, HtmlEscapesBodyText) {
    const auto report = Prepare({QStringLiteral("Reply from <b>&x: Error processing request")});
    const QString html = QString::fromUtf8(ReportToHtml(*report));
    EXPECT_TRUE(html.contains(QStringLiteral("  Reply from &lt;b&gt;&amp;x: Error")));
    EXPECT_FALSE(html.contains(QStringLiteral("<b>&x")));
}

TEST(ReportEngine, RtfKeepsTitleBodyAndFootersAsText) {
    const auto report = Prepare(PingRunsLines(40));
    const QByteArray rtf = ReportToRtf(*report);
    EXPECT_TRUE(IsRtf(rtf));
    EXPECT_EQ(rtf.count("\\page"), report->PageCount() - 1);
    EXPECT_FALSE(rtf.contains("\\u-8192"));
    QTextDocument back;
    ReadRtf(rtf, &back);
    const QString text = back.toPlainText();
    EXPECT_TRUE(text.startsWith(ReportMakerName()));
    EXPECT_EQ(text.count(QStringLiteral("ADDRESS ANALYSIS RESULTS")), 1);
    EXPECT_EQ(text.count(QStringLiteral("Tarvex - version 1.0.0.1")), report->PageCount());
    for (int page = 1; page <= report->PageCount(); ++page) {
        EXPECT_TRUE(
            text.contains(QStringLiteral("Page: %1 of %2").arg(page).arg(report->PageCount())));
    }
    EXPECT_TRUE(
        text.contains(QStringLiteral("  Reply from 10.0.0.1;  Bytes=32  Time=20 ms  TTL=57")));
    EXPECT_EQ(text.count(ReportRuleLine()), 40);
}

TEST(ReportEngine, ExportErrorsAreReported) {
    const auto report = Prepare(PingRunsLines(1));
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("no/such/folder/r.pdf"));
    for (int mode : {3, 4, 5}) {
        SCOPED_TRACE(mode);
        try {
            ExportReport(*report, mode, missing);
            ADD_FAILURE() << "no error";
        } catch (const TxError &error) {
            EXPECT_TRUE(error.Message().startsWith(
                QStringLiteral("Cannot create file \"%1\".").arg(missing)));
        }
    }
    EXPECT_THROW(ExportReport(*report, 2, dir.filePath(QStringLiteral("r.rtf"))), TxError);
    EXPECT_THROW(SetPdfInfo(QByteArray("%PDF-1.4\nno trailer"), ReportPdfInfo()), TxError);
}

TEST(ReportEngine, ExportReplacesAnExistingFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.html"));
    WriteReportFile(path, QByteArray(100000, 'x'));
    ExportReport(*Prepare(PingRunsLines(1)), 5, path);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().startsWith("<!DOCTYPE html>"));
}

TEST(ReportEngine, AnExportOnAFullDiskKeepsTheOldFileAndSaysWhy) {
    TFullDisk disk;
    if (!disk.Problem().isEmpty()) {
        GTEST_SKIP() << disk.Problem().toStdString();
    }
    const auto report = Prepare(PingRunsLines(3));
    const QStringList names = {QStringLiteral("r.pdf"), QStringLiteral("r.rtf"),
                               QStringLiteral("r.html")};
    for (const QString &name : names) {
        WriteBytes(disk.FilePath(name), "good");
    }
    disk.Fill();
    for (int mode : {3, 4, 5}) {
        SCOPED_TRACE(mode);
        const QString path = disk.FilePath(names[mode - 3]);
        try {
            ExportReport(*report, mode, path);
            ADD_FAILURE() << "no error";
        } catch (const TxError &error) {
            EXPECT_EQ(
                error.Message(),
                QStringLiteral("Cannot create file \"%1\". No space left on device").arg(path));
        }
        EXPECT_EQ(ReadBytes(path), "good");
    }
}

namespace {

// A report whose body holds WHOIS-like lines with web addresses, links switched on as the report
// window switches them on.
std::unique_ptr<TPreparedReport> PrepareWithLinks(const QStringList &lines) {
    QTextDocument body;
    BuildReportBody(lines, body);
    TReportTemplate reportTemplate = PingReportTemplate();
    reportTemplate.bodyDetectLinks = true;
    return std::make_unique<TPreparedReport>(reportTemplate, body);
}

// The links of a document: text and target of each anchor run, in order.
QList<QPair<QString, QString>> Links(const QTextDocument &document) {
    QList<QPair<QString, QString>> links;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isAnchor()) {
                links.append({it.fragment().text(), format.anchorHref()});
            }
        }
    }
    return links;
}

}  // namespace

TEST(ReportLinks, WebAddressesBecomeLinksWhereTheTemplateAsksForThem) {
    const struct {
        const char *line;
        QList<QPair<QString, QString>> links;
    } rows[] = {
        {"remarks:        https://www.ripe.net/manage-ips-and-asns/db/support",
         {{"https://www.ripe.net/manage-ips-and-asns/db/support",
           "https://www.ripe.net/manage-ips-and-asns/db/support"}}},
        {"see (http://example.org/a?b=1).",
         {{"http://example.org/a?b=1", "http://example.org/a?b=1"}}},
        {"visit www.example.net, or ftp://files.example.net/x",
         {{"www.example.net", "http://www.example.net"},
          {"ftp://files.example.net/x", "ftp://files.example.net/x"}}},
        {"mail mailto:abuse@example.org;",
         {{"mailto:abuse@example.org", "mailto:abuse@example.org"}}},
        {"no address here: http:// alone, host.example.org, user@example.org", {}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.line);
        const auto report = PrepareWithLinks({QString::fromLatin1(row.line)});
        EXPECT_EQ(Links(report->Body()), row.links);
    }
    // Without the template's switch the text stays plain.
    const auto plain = Prepare({QStringLiteral("remarks: https://www.ripe.net/")});
    EXPECT_TRUE(Links(plain->Body()).isEmpty());

    // A link is shown as one: underlined and blue.
    const auto report = PrepareWithLinks({QStringLiteral("remarks: https://www.ripe.net/")});
    QTextCursor cursor(const_cast<QTextDocument *>(&report->Body()));
    cursor.setPosition(report->Body().toPlainText().indexOf(QStringLiteral("https")) + 2);
    EXPECT_TRUE(cursor.charFormat().fontUnderline());
    EXPECT_EQ(cursor.charFormat().foreground().color(), QColor(0, 0, 255));
}

TEST(ReportLinks, PdfAndHtmlExportsCarryTheLinks) {
    QStringList lines = PingRunsLines(1);
    lines << QStringLiteral("remarks:        https://www.ripe.net/support/abuse")
          << QStringLiteral("remarks:        see www.example.net for more");
    const auto report = PrepareWithLinks(lines);

    const QByteArray pdf = ReportToPdf(*report, ReportPdfInfo());
    EXPECT_TRUE(pdf.contains("/Subtype /Link"));
    EXPECT_TRUE(pdf.contains("/URI (https://www.ripe.net/support/abuse)"));
    EXPECT_TRUE(pdf.contains("/URI (http://www.example.net)"));

    const QString html = QString::fromUtf8(ReportToHtml(*report));
    EXPECT_TRUE(html.contains(QRegularExpression(QStringLiteral(
        "<a href=\"https://www.ripe.net/support/abuse\"><span [^>]*>https://www.ripe.net/support/"
        "abuse</span></a>"))))
        << html.toStdString();
    EXPECT_TRUE(html.contains(QStringLiteral("<a href=\"http://www.example.net\">")));
}

TEST(ReportExportProgress, EveryFormatReportsItsStepsAndCancelWritesNothing) {
    const auto report = Prepare(PingRunsLines(60));
    const int pages = report->PageCount();
    ASSERT_GT(pages, 5);
    QTemporaryDir dir;
    const struct {
        int mode;
        const char *file;
        int steps;
    } rows[] = {{3, "r.pdf", pages}, {4, "r.rtf", pages + 1}, {5, "r.html", pages}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.file);
        const QString path = dir.filePath(QString::fromLatin1(row.file));
        QList<int> seen;
        EXPECT_TRUE(ExportReport(*report, row.mode, path, [&](int done, int total) {
            EXPECT_EQ(total, row.steps);
            seen << done;
            return true;
        }));
        EXPECT_EQ(seen.size(), row.steps);
        EXPECT_EQ(seen.value(row.steps - 1), row.steps);
        EXPECT_TRUE(QFile::exists(path));

        // Cancelled half-way: a file of that name keeps its content, a new name is not made.
        WriteReportFile(path, "old content");
        const QString fresh = dir.filePath(QStringLiteral("new-") + QString::fromLatin1(row.file));
        for (const QString &target : {path, fresh}) {
            int calls = 0;
            EXPECT_FALSE(ExportReport(*report, row.mode, target, [&](int done, int) {
                ++calls;
                return done < 3;
            }));
            EXPECT_EQ(calls, 3);
        }
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::ReadOnly));
        EXPECT_EQ(old.readAll(), QByteArray("old content"));
        EXPECT_FALSE(QFile::exists(fresh));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3);
}

TEST(ReportEngine, RtfKeepsTheLayoutOfThePreview) {
    const auto report = Prepare(PingRunsLines(40));
    const QByteArray rtf = ReportToRtf(*report);
    QTextDocument back;
    QPageLayout page;
    ReadRtf(rtf, &back, &page);
    const auto blockOf = [&back](const QString &text) {
        for (QTextBlock block = back.begin(); block.isValid(); block = block.next()) {
            if (block.text().contains(text)) {
                return block;
            }
        }
        ADD_FAILURE() << "no paragraph holds " << text.toStdString();
        return QTextBlock();
    };
    const auto alignment = [&](const QString &text) {
        return blockOf(text).blockFormat().alignment() & Qt::AlignHorizontal_Mask;
    };
    EXPECT_EQ(alignment(QStringLiteral("ADDRESS ANALYSIS RESULTS")), Qt::AlignHCenter);
    EXPECT_EQ(alignment(QStringLiteral("For official use")), Qt::AlignRight);
    EXPECT_EQ(alignment(ReportMakerName()), Qt::AlignLeft);
    // The footer's tab is a right tab at the right margin, so "Page: N of M" ends there.
    const QList<QTextOption::Tab> tabs =
        blockOf(QStringLiteral("Tarvex - version 1.0.0.1")).blockFormat().tabPositions();
    ASSERT_EQ(tabs.size(), 1);
    EXPECT_EQ(tabs.first().type, QTextOption::RightTab);
    EXPECT_NEAR(tabs.first().position, MmToPx(190), 0.1);
    // A4 with the report's 10 mm margins.
    ASSERT_TRUE(page.isValid());
    EXPECT_EQ(page.pageSize().id(), QPageSize::A4);
    const QMarginsF margins = page.margins(QPageLayout::Millimeter);
    EXPECT_NEAR(margins.left(), 10, 0.05);
    EXPECT_NEAR(margins.top(), 10, 0.05);
    EXPECT_NEAR(margins.right(), 10, 0.05);
    EXPECT_NEAR(margins.bottom(), 10, 0.05);

    // Another reader sees the same alignment.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.rtf"));
    WriteReportFile(path, rtf);
    const QString html =
        RunTool(QStringLiteral("unrtf"), {QStringLiteral("--html"), path}).simplified();
    EXPECT_TRUE(
        html.contains(QRegularExpression(QStringLiteral("<center>[^/]*ADDRESS ANALYSIS RESULTS"))));
    EXPECT_TRUE(html.contains(
        QRegularExpression(QStringLiteral("<div align=\"right\">[^/]*For official use"))));
}
