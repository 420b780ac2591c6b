#include "app/SizeSplitter.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace {
constexpr int kBarWidth = 6;
constexpr int kHotSpotLength = 48;
}  // namespace

TSizeSplitter::TSizeSplitter(Qt::Orientation orientation, QWidget *parent)
    : QSplitter(orientation, parent) {
    setHandleWidth(kBarWidth);
    setChildrenCollapsible(true);
}

bool TSizeSplitter::IsCollapsed() const {
    const QList<int> current = sizes();
    return current.size() >= 2 && current.at(1) == 0;
}

void TSizeSplitter::ToggleCollapsed() {
    QList<int> current = sizes();
    if (current.size() < 2) {
        return;
    }
    if (current.at(1) > 0) {
        restoreSize_ = current.at(1);
        current[0] += current.at(1);
        current[1] = 0;
    } else {
        const int size = restoreSize_ > 0 ? restoreSize_ : current.at(0) / 3;
        current[0] = std::max(0, current.at(0) - size);
        current[1] = size;
    }
    setSizes(current);
}

QSplitterHandle *TSizeSplitter::createHandle() {
    return new TSizeBarHandle(orientation(), this);
}

TSizeBarHandle::TSizeBarHandle(Qt::Orientation orientation, TSizeSplitter *parent)
    : QSplitterHandle(orientation, parent), splitter_(parent) {
    setAttribute(Qt::WA_Hover);
}

QRect TSizeBarHandle::HotSpot() const {
    if (orientation() == Qt::Horizontal) {
        return QRect(0, (height() - kHotSpotLength) / 2, width(), kHotSpotLength);
    }
    return QRect((width() - kHotSpotLength) / 2, 0, kHotSpotLength, height());
}

void TSizeBarHandle::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(54, 54, 54));
    const QRect spot = HotSpot().adjusted(1, 1, -1, -1);
    painter.fillRect(spot, underMouse() ? QColor(110, 110, 110) : QColor(84, 84, 84));
    painter.setPen(QColor(150, 150, 150));
    // Small dots show where to click.
    const QPoint centre = spot.center();
    for (int i = -2; i <= 2; ++i) {
        const QPoint dot =
            orientation() == Qt::Horizontal ? centre + QPoint(0, i * 6) : centre + QPoint(i * 6, 0);
        painter.drawPoint(dot);
    }
}

void TSizeBarHandle::mousePressEvent(QMouseEvent *event) {
    pressedOnHotSpot_ = event->button() == Qt::LeftButton && HotSpot().contains(event->pos());
    if (!pressedOnHotSpot_) {
        QSplitterHandle::mousePressEvent(event);
    }
}

void TSizeBarHandle::mouseMoveEvent(QMouseEvent *event) {
    if (!pressedOnHotSpot_) {
        QSplitterHandle::mouseMoveEvent(event);
    }
}

void TSizeBarHandle::mouseReleaseEvent(QMouseEvent *event) {
    if (pressedOnHotSpot_) {
        pressedOnHotSpot_ = false;
        if (HotSpot().contains(event->pos())) {
            splitter_->ToggleCollapsed();
        }
        return;
    }
    QSplitterHandle::mouseReleaseEvent(event);
}
