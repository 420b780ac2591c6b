#include "reports/ReportPreview.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSplitter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace {

constexpr double kGap = 12.0;     // space around and between pages, in screen pixels
constexpr double kShadow = 3.0;   // the shadow drawn beside and under each page
constexpr int kWheelNotch = 120;  // angle of one wheel notch, in eighths of a degree
constexpr double kMinZoom = 0.1;
constexpr double kMaxZoom = 3.0;
constexpr double kThumbZoom = 0.16;
constexpr int kCachedPages = 12;  // rendered pages kept for repaints while scrolling

}  // namespace

TReportPageView::TReportPageView(QWidget *parent) : QAbstractScrollArea(parent) {
    viewport()->setAutoFillBackground(true);
    QPalette palette = viewport()->palette();
    palette.setColor(QPalette::Window, QColor(96, 96, 96));
    viewport()->setPalette(palette);
    viewport()->setBackgroundRole(QPalette::Window);
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setSingleStep(20);
}

void TReportPageView::SetReport(std::shared_ptr<const TPreparedReport> report) {
    report_ = std::move(report);
    cache_.clear();
    highlight_.clear();
    highlightPage_ = -1;
    lastCurrentPage_ = -1;
    markedPage_ = -1;
    UpdateScrollBars();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    viewport()->update();
}

void TReportPageView::SetZoom(double zoom) {
    if (zoom == zoom_) {
        return;
    }
    const int page = CurrentPage();
    zoom_ = zoom;
    cache_.clear();
    UpdateScrollBars();
    if (page >= 0) {
        ShowPage(page);
    }
    viewport()->update();
}

QSizeF TReportPageView::ScaledPage() const {
    if (!report_) {
        return QSizeF();
    }
    return report_->PageSize() * zoom_;
}

double TReportPageView::PageStride() const {
    return std::ceil(ScaledPage().height()) + kGap;
}

double TReportPageView::FitZoom(bool wholePage) const {
    if (!report_ || report_->PageSize().isEmpty()) {
        return zoom_;
    }
    const QSizeF page = report_->PageSize();
    // The room the view has without scroll bars, less the gaps and the shadow beside a page.
    const QSize area = maximumViewportSize();
    const double height = area.height() - 2 * kGap - kShadow;
    const auto fit = [&](double width) {
        const double zoom = width / page.width();
        return wholePage ? std::min(zoom, height / page.height()) : zoom;
    };
    double zoom = fit(area.width() - 2 * kGap - kShadow);
    // Pages taller than the view bring the vertical scroll bar, which takes its width.
    const double contentHeight =
        kGap + report_->PageCount() * (std::ceil(page.height() * zoom) + kGap);
    if (contentHeight > area.height()) {
        zoom = fit(area.width() - verticalScrollBar()->sizeHint().width() - 2 * kGap - kShadow);
    }
    // Whole percent, as the zoom box shows it; rounded down, so the page still fits.
    zoom = std::floor(zoom * 100 + 1e-9) / 100;
    return std::clamp(zoom, kMinZoom, kMaxZoom);
}

QPointF TReportPageView::PageTopLeft(int index) const {
    const double contentWidth = std::ceil(ScaledPage().width()) + 2 * kGap;
    const double x = std::max(kGap, (viewport()->width() - contentWidth) / 2 + kGap);
    return QPointF(x - horizontalScrollBar()->value(),
                   kGap + index * PageStride() - verticalScrollBar()->value());
}

int TReportPageView::CurrentPage() const {
    if (!report_) {
        return -1;
    }
    const double y = verticalScrollBar()->value() + viewport()->height() / 3.0;
    const int page = static_cast<int>(std::floor((y - kGap / 2) / PageStride()));
    return std::clamp(page, 0, report_->PageCount() - 1);
}

void TReportPageView::ShowPage(int index) {
    if (!report_) {
        return;
    }
    index = std::clamp(index, 0, report_->PageCount() - 1);
    verticalScrollBar()->setValue(static_cast<int>(index * PageStride()));
    CheckCurrentPage();
}

void TReportPageView::SetMarkedPage(int index) {
    if (markedPage_ == index) {
        return;
    }
    markedPage_ = index;
    if (report_ && index >= 0) {
        // Keep the marked thumbnail in view.
        const double top = kGap + index * PageStride();
        const int value = verticalScrollBar()->value();
        if (top < value || top + PageStride() > value + viewport()->height()) {
            verticalScrollBar()->setValue(static_cast<int>(top - kGap));
        }
    }
    viewport()->update();
}

void TReportPageView::SetHighlight(int page, const QList<QRectF> &rects) {
    highlightPage_ = page;
    highlight_ = rects;
    if (report_ && page >= 0 && !rects.isEmpty()) {
        QRectF united = rects.first();
        for (const QRectF &r : rects) {
            united = united.united(r);
        }
        const double top = kGap + page * PageStride() + united.top() * zoom_;
        const double bottom = kGap + page * PageStride() + united.bottom() * zoom_;
        const int value = verticalScrollBar()->value();
        if (top < value || bottom > value + viewport()->height()) {
            verticalScrollBar()->setValue(static_cast<int>(top - viewport()->height() / 3.0));
        }
        const double contentWidth = std::ceil(ScaledPage().width()) + 2 * kGap;
        if (contentWidth > viewport()->width()) {
            const double left = kGap + united.left() * zoom_;
            const int hValue = horizontalScrollBar()->value();
            if (left < hValue || left + united.width() * zoom_ > hValue + viewport()->width()) {
                horizontalScrollBar()->setValue(static_cast<int>(left - kGap));
            }
        }
    }
    CheckCurrentPage();
    viewport()->update();
}

void TReportPageView::UpdateScrollBars() {
    if (!report_) {
        verticalScrollBar()->setRange(0, 0);
        horizontalScrollBar()->setRange(0, 0);
        return;
    }
    const double contentHeight = kGap + report_->PageCount() * PageStride();
    const double contentWidth = std::ceil(ScaledPage().width()) + 2 * kGap;
    verticalScrollBar()->setPageStep(viewport()->height());
    verticalScrollBar()->setRange(
        0, std::max(0, static_cast<int>(contentHeight) - viewport()->height()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setRange(
        0, std::max(0, static_cast<int>(contentWidth) - viewport()->width()));
}

void TReportPageView::CheckCurrentPage() {
    const int page = CurrentPage();
    if (page != lastCurrentPage_) {
        lastCurrentPage_ = page;
        emit CurrentPageChanged(page);
    }
}

QImage TReportPageView::RenderPage(const TPreparedReport &report, int index, double zoom,
                                   double devicePixelRatio) {
    const QSizeF size = report.PageSize() * zoom * devicePixelRatio;
    QImage image(std::max(1, static_cast<int>(std::ceil(size.width()))),
                 std::max(1, static_cast<int>(std::ceil(size.height()))),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.scale(zoom * devicePixelRatio, zoom * devicePixelRatio);
    report.RenderPage(painter, index);
    painter.end();
    image.setDevicePixelRatio(devicePixelRatio);
    return image;
}

const QImage &TReportPageView::PageImage(int index) {
    auto found = cache_.find(index);
    if (found == cache_.end()) {
        if (cache_.size() >= kCachedPages) {
            cache_.clear();
        }
        found = cache_.insert(index, RenderPage(*report_, index, zoom_, devicePixelRatioF()));
    }
    return found.value();
}

void TReportPageView::paintEvent(QPaintEvent *) {
    QPainter painter(viewport());
    if (!report_) {
        return;
    }
    const double stride = PageStride();
    const int value = verticalScrollBar()->value();
    const int first = std::max(0, static_cast<int>((value - kGap) / stride));
    const int last = std::min(report_->PageCount() - 1,
                              static_cast<int>((value + viewport()->height()) / stride));
    const QSizeF pageSize = ScaledPage();
    for (int index = first; index <= last; ++index) {
        const QPointF topLeft = PageTopLeft(index);
        const QRectF pageRect(topLeft, pageSize);
        painter.fillRect(pageRect.translated(3, 3), QColor(40, 40, 40));
        painter.drawImage(topLeft, PageImage(index));
        if (index == highlightPage_) {
            for (const QRectF &r : highlight_) {
                const QRectF mapped(topLeft + r.topLeft() * zoom_, r.size() * zoom_);
                painter.fillRect(mapped.adjusted(-1, 0, 1, 0), QColor(255, 200, 0, 110));
                painter.setPen(QPen(QColor(230, 140, 0), 1));
                painter.drawRect(mapped.adjusted(-1, 0, 1, 0));
            }
        }
        if (index == markedPage_) {
            painter.setPen(QPen(QColor(0, 128, 192), 3));
            painter.drawRect(pageRect.adjusted(-2, -2, 2, 2));
        }
    }
}

void TReportPageView::resizeEvent(QResizeEvent *event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
    CheckCurrentPage();
    emit Resized();
}

void TReportPageView::wheelEvent(QWheelEvent *event) {
    if (!event->modifiers().testFlag(Qt::ControlModifier)) {
        wheelAngle_ = 0;
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    // Fine-grained wheels and touchpads send parts of a notch; a step is taken per whole notch.
    wheelAngle_ += event->angleDelta().y();
    const int steps = wheelAngle_ / kWheelNotch;
    wheelAngle_ -= steps * kWheelNotch;
    if (steps != 0) {
        emit ZoomStepped(steps);
    }
    event->accept();
}

void TReportPageView::mousePressEvent(QMouseEvent *event) {
    if (report_ && event->button() == Qt::LeftButton) {
        const double y = event->position().y() + verticalScrollBar()->value() - kGap;
        const int page = static_cast<int>(std::floor(y / PageStride()));
        if (page >= 0 && page < report_->PageCount()) {
            emit PageClicked(page);
        }
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void TReportPageView::scrollContentsBy(int, int) {
    viewport()->update();
    CheckCurrentPage();
}

TReportPreview::TReportPreview(QWidget *parent) : QWidget(parent) {
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    splitter_ = new QSplitter(Qt::Horizontal, this);
    thumbnails_ = new TReportPageView(splitter_);
    thumbnails_->setObjectName(QStringLiteral("PreviewThumbnails"));
    thumbnails_->SetZoom(kThumbZoom);
    thumbnails_->setMinimumWidth(80);
    pages_ = new TReportPageView(splitter_);
    pages_->setObjectName(QStringLiteral("PreviewPages"));
    splitter_->addWidget(thumbnails_);
    splitter_->addWidget(pages_);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({static_cast<int>(794 * kThumbZoom + 48), 600});
    layout->addWidget(splitter_);

    connect(thumbnails_, &TReportPageView::PageClicked, this,
            [this](int index) { SetPageNo(index + 1); });
    // A fitted zoom follows the view: the window resized, the thumbnails shown or hidden.
    connect(pages_, &TReportPageView::Resized, this, [this] { ApplyFit(); });
    connect(pages_, &TReportPageView::ZoomStepped, this, &TReportPreview::ZoomStepRequested);
    connect(pages_, &TReportPageView::CurrentPageChanged, this, [this](int index) {
        if (index < 0) {
            return;
        }
        thumbnails_->SetMarkedPage(index);
        if (pageNo_ != index + 1) {
            pageNo_ = index + 1;
            emit PageChanged(pageNo_);
        }
    });
}

void TReportPreview::SetReport(std::shared_ptr<const TPreparedReport> report) {
    report_ = std::move(report);
    // A running search is not ended by showing a report again (after printing, exporting,
    // loading or the thumbnail switch): find-next goes on from the last hit's place.
    pageNo_ = 0;
    thumbnails_->SetReport(report_);
    pages_->SetReport(report_);
    if (report_) {
        if (fit_ == TZoomFit::None) {
            pages_->SetZoom(report_->Template().previewZoom);
        } else {
            ApplyFit();
        }
        thumbnails_->setVisible(report_->Template().thumbnails);
        pageNo_ = 1;
        thumbnails_->SetMarkedPage(0);
        pages_->ShowPage(0);
        if (search_.Running() && search_.Current().page >= 0) {
            ShowHit();
        }
    }
}

void TReportPreview::SetZoom(double zoom) {
    fit_ = TZoomFit::None;
    ApplyZoom(zoom);
}

void TReportPreview::SetZoomFit(TZoomFit fit) {
    fit_ = fit;
    ApplyFit();
}

void TReportPreview::ApplyFit() {
    if (fit_ == TZoomFit::None || !report_) {
        return;
    }
    ApplyZoom(pages_->FitZoom(fit_ == TZoomFit::Page));
}

void TReportPreview::ApplyZoom(double zoom) {
    pages_->SetZoom(zoom);
    // Keep the found text in view at the new size.
    if (search_.Current().page >= 0) {
        ShowHit();
    }
    emit ZoomChanged(pages_->Zoom());
}
double TReportPreview::Zoom() const {
    return pages_->Zoom();
}

void TReportPreview::SetThumbnailsVisible(bool visible) {
    thumbnails_->setVisible(visible);
}
bool TReportPreview::ThumbnailsVisible() const {
    return !thumbnails_->isHidden();
}

int TReportPreview::PageNo() const {
    return pageNo_;
}
int TReportPreview::PageCount() const {
    return report_ ? report_->PageCount() : 0;
}

void TReportPreview::SetPageNo(int pageNo) {
    if (!report_) {
        return;
    }
    pages_->ShowPage(pageNo - 1);
    // A short last page cannot scroll to the top of the view; it is still the page asked for.
    const int index = std::clamp(pageNo - 1, 0, report_->PageCount() - 1);
    thumbnails_->SetMarkedPage(index);
    if (pageNo_ != index + 1) {
        pageNo_ = index + 1;
        emit PageChanged(pageNo_);
    }
}

bool TReportPreview::Find(const QString &text) {
    if (!report_) {
        return false;
    }
    const bool found = search_.Start(*report_, text);
    ShowHit();
    return found;
}

bool TReportPreview::FindNext() {
    if (!report_) {
        return false;
    }
    const bool found = search_.Next(*report_);
    if (found) {
        ShowHit();
    }
    return found;
}

void TReportPreview::StopFind() {
    search_.Stop();
    pages_->SetHighlight(-1, {});
}

void TReportPreview::ShowHit() {
    const TReportSearch::Hit hit = search_.Current();
    if (!report_ || hit.page < 0) {
        pages_->SetHighlight(-1, {});
        return;
    }
    const QList<TReportTextItem> items =
        hit.page < report_->PageCount() ? report_->PageTexts(hit.page) : QList<TReportTextItem>();
    // A hit of an earlier report that the one shown no longer holds is not highlighted.
    if (hit.item >= items.size() || items.at(hit.item)
                                            .text.mid(hit.offset, hit.length)
                                            .compare(search_.Text(), Qt::CaseInsensitive) != 0) {
        pages_->SetHighlight(-1, {});
        return;
    }
    const QList<QRectF> rects =
        report_->TextRects(hit.page, items.at(hit.item), hit.offset, hit.length);
    pages_->SetHighlight(hit.page, rects);
    const int index = hit.page;
    thumbnails_->SetMarkedPage(index);
    if (pageNo_ != index + 1) {
        pageNo_ = index + 1;
        emit PageChanged(pageNo_);
    }
}
