#include "app/SizeSplitter.h"

#include <QCoreApplication>
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

int TSizeSplitter::LeastExtent(const QWidget *widget) const {
    // As QSplitter reads it: a minimum size set on the widget wins over its hint.
    const QSize set = widget->minimumSize();
    const QSize hint = widget->minimumSizeHint();
    if (orientation() == Qt::Vertical) {
        return set.height() > 0 ? set.height() : std::max(0, hint.height());
    }
    return set.width() > 0 ? set.width() : std::max(0, hint.width());
}

void TSizeSplitter::SetLeastKept(QWidget *widget, int extent) {
    leastKept_.insert(widget, extent);
}

void TSizeSplitter::OpenPanel(QWidget *panel, int extent) {
    const int index = indexOf(panel);
    if (index < 0 || !panel->isHidden()) {
        return;
    }
    if (openPanel_ != nullptr && openPanel_ != panel) {
        ClosePanel(openPanel_);
    }
    QList<int> current = sizes();
    // The panel's size bar appears with it and takes its width out of the same room.
    const qint64 need = std::max(0, extent) + handleWidth();
    QList<qint64> spare(current.size(), 0);
    qint64 totalSpare = 0;
    for (int i = 0; i < index; ++i) {
        if (!widget(i)->isHidden()) {
            spare[i] = std::max(
                0, current.at(i) - std::max(leastKept_.value(widget(i)), LeastExtent(widget(i))));
            totalSpare += spare.at(i);
        }
    }
    const qint64 room = std::min(need, totalSpare);
    given_ = QList<int>(current.size(), 0);
    qint64 shared = 0;
    for (int i = 0; i < index; ++i) {
        if (totalSpare > 0) {
            given_[i] = static_cast<int>(room * spare.at(i) / totalSpare);
            shared += given_.at(i);
        }
    }
    // The pixels that rounding left over go to whoever still has room, nearest the panel first.
    for (int i = index - 1; i >= 0 && shared < room; --i) {
        const int more =
            static_cast<int>(std::min<qint64>(room - shared, spare.at(i) - given_.at(i)));
        given_[i] += more;
        shared += more;
    }
    for (int i = 0; i < index; ++i) {
        current[i] -= given_.at(i);
    }
    current[index] = static_cast<int>(std::max<qint64>(0, room - handleWidth()));
    openPanel_ = panel;
    panel->show();
    ApplySizes(current);
}

void TSizeSplitter::ClosePanel(QWidget *panel) {
    const int index = indexOf(panel);
    if (index < 0) {
        return;
    }
    if (panel->isHidden()) {
        if (panel == openPanel_) {
            openPanel_ = nullptr;
            given_.clear();
        }
        return;
    }
    QList<int> current = sizes();
    const qint64 freed = current.at(index) + handleWidth();
    qint64 totalGiven = 0;
    QList<int> shares(current.size(), 0);
    if (panel == openPanel_) {
        for (int i = 0; i < std::min(index, static_cast<int>(given_.size())); ++i) {
            if (!widget(i)->isHidden()) {
                shares[i] = given_.at(i);
                totalGiven += shares.at(i);
            }
        }
    }
    if (totalGiven == 0) {
        // Nothing on record: the room goes to the first visible widget, the one that takes
        // what is left.
        for (int i = 0; i < index; ++i) {
            if (!widget(i)->isHidden()) {
                shares[i] = 1;
                totalGiven = 1;
                break;
            }
        }
    }
    qint64 returned = 0;
    int last = -1;
    for (int i = 0; i < index && totalGiven > 0; ++i) {
        if (shares.at(i) > 0) {
            const int back = static_cast<int>(freed * shares.at(i) / totalGiven);
            current[i] += back;
            returned += back;
            last = i;
        }
    }
    if (last >= 0) {
        current[last] += static_cast<int>(freed - returned);
    }
    current[index] = 0;
    if (panel == openPanel_) {
        openPanel_ = nullptr;
        given_.clear();
    }
    panel->hide();
    ApplySizes(current);
}

void TSizeSplitter::ApplySizes(const QList<int> &sizes) {
    // A widget shown or hidden shows or hides its size bar only when the splitter handles its
    // posted layout request; handled now, the sizes are laid out with the bars as they will be
    // and read back as set.
    QCoreApplication::sendPostedEvents(this, QEvent::LayoutRequest);
    setSizes(sizes);
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
