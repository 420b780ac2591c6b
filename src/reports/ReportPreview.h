#pragma once

#include <QAbstractScrollArea>
#include <QHash>
#include <QImage>
#include <QWidget>
#include <memory>

#include "reports/ReportEngine.h"

class QSplitter;

// A column of report pages drawn at one zoom; only the pages in view are drawn, so a report of
// thousands of pages scrolls as fast as one of a few.
class TReportPageView final : public QAbstractScrollArea {
    Q_OBJECT

  public:
    explicit TReportPageView(QWidget *parent = nullptr);

    void SetReport(std::shared_ptr<const TPreparedReport> report);
    void SetZoom(double zoom);
    double Zoom() const { return zoom_; }

    // The page (0-based) at the top third of the view.
    int CurrentPage() const;
    // Scrolls so that page `index` starts at the top of the view.
    void ShowPage(int index);
    // Marks page `index` as the current one (the thumbnails frame it).
    void SetMarkedPage(int index);
    // Highlights found text and scrolls to it; an empty list removes the highlight.
    void SetHighlight(int page, const QList<QRectF> &rects);

    // Page `index` drawn at `zoom` (1.0: 96 dpi) into an image.
    static QImage RenderPage(const TPreparedReport &report, int index, double zoom,
                             double devicePixelRatio = 1.0);

  signals:
    void PageClicked(int index);
    void CurrentPageChanged(int index);

  protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    QSizeF ScaledPage() const;
    double PageStride() const;
    QPointF PageTopLeft(int index) const;
    void UpdateScrollBars();
    void CheckCurrentPage();
    const QImage &PageImage(int index);

    std::shared_ptr<const TPreparedReport> report_;
    double zoom_ = 1.0;
    int markedPage_ = -1;
    int lastCurrentPage_ = -1;
    int highlightPage_ = -1;
    QList<QRectF> highlight_;
    QHash<int, QImage> cache_;
};

// The report preview: page thumbnails beside the pages, zoom, current page and found text.
class TReportPreview final : public QWidget {
    Q_OBJECT

  public:
    explicit TReportPreview(QWidget *parent = nullptr);

    // Shows a prepared report from its first page, at the template's zoom and with thumbnails as
    // the template says.
    void SetReport(std::shared_ptr<const TPreparedReport> report);
    std::shared_ptr<const TPreparedReport> Report() const { return report_; }

    void SetZoom(double zoom);
    double Zoom() const;

    void SetThumbnailsVisible(bool visible);
    bool ThumbnailsVisible() const;

    // 1-based page number shown, and the number of pages (0 without a report).
    int PageNo() const;
    int PageCount() const;
    void SetPageNo(int pageNo);

    // Text search: a new search from the first page (not case-sensitive), and the next hit of
    // the running one. Both return whether they found something and then show it.
    bool Find(const QString &text);
    bool FindNext();
    void StopFind();
    const TReportSearch &Search() const { return search_; }

    TReportPageView *PagesView() const { return pages_; }
    TReportPageView *ThumbnailsView() const { return thumbnails_; }

  signals:
    void PageChanged(int pageNo);

  private:
    void ShowHit();

    std::shared_ptr<const TPreparedReport> report_;
    TReportSearch search_;
    QSplitter *splitter_ = nullptr;
    TReportPageView *thumbnails_ = nullptr;
    TReportPageView *pages_ = nullptr;
    int pageNo_ = 0;
};
