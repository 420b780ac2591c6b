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

    // The zoom at which a page fills the view's width (`wholePage` false) or fits into the view
    // whole, with the gaps around it and the scroll bars the view then needs; in whole percent,
    // rounded down so that the page does fit, and within the zoom range (10 % to 300 %). The
    // view's zoom without a report.
    double FitZoom(bool wholePage) const;

    // Page `index` drawn at `zoom` (1.0: 96 dpi) into an image.
    static QImage RenderPage(const TPreparedReport &report, int index, double zoom,
                             double devicePixelRatio = 1.0);

  signals:
    void PageClicked(int index);
    void CurrentPageChanged(int index);
    // The view changed its size.
    void Resized();
    // The wheel turned with Ctrl held: `steps` notches, positive away from the user (zoom in).
    void ZoomStepped(int steps);

  protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
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
    int wheelAngle_ = 0;  // Ctrl+wheel turn not yet a whole notch (fine-grained wheels, touchpads)
};

// How the preview chooses its zoom: as set, or fitted to the view (and fitted again whenever the
// view changes its size).
enum class TZoomFit { None, Width, Page };

// The report preview: page thumbnails beside the pages, zoom, current page and found text.
class TReportPreview final : public QWidget {
    Q_OBJECT

  public:
    explicit TReportPreview(QWidget *parent = nullptr);

    // Shows a prepared report from its first page, with thumbnails as the template says, fitted
    // to the view when a fit is chosen, else at the template's zoom.
    void SetReport(std::shared_ptr<const TPreparedReport> report);
    std::shared_ptr<const TPreparedReport> Report() const { return report_; }

    // Sets the zoom (1.0: 100 %) and ends any fit.
    void SetZoom(double zoom);
    double Zoom() const;

    // Fits the pages to the view's width or whole into it, now and whenever the view changes its
    // size, until SetZoom; TZoomFit::None only ends the fit.
    void SetZoomFit(TZoomFit fit);
    TZoomFit ZoomFit() const { return fit_; }

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
    // The zoom in force changed, by SetZoom or by a fit.
    void ZoomChanged(double zoom);
    // Ctrl+wheel over the pages asks for `steps` zoom steps (positive: in).
    void ZoomStepRequested(int steps);

  private:
    void ShowHit();
    void ApplyZoom(double zoom);
    void ApplyFit();

    std::shared_ptr<const TPreparedReport> report_;
    TReportSearch search_;
    QSplitter *splitter_ = nullptr;
    TReportPageView *thumbnails_ = nullptr;
    TReportPageView *pages_ = nullptr;
    int pageNo_ = 0;
    TZoomFit fit_ = TZoomFit::None;
};
