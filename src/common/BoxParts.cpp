#include "common/BoxParts.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QWindow>

namespace {

std::function<void(QWidget *)> &MoveStarter() {
    static std::function<void(QWidget *)> starter;
    return starter;
}

// Watches the drag handles and the inert labels of one window.
class TWindowDragFilter final : public QObject {
  public:
    TWindowDragFilter(QWidget *window, const QList<QWidget *> &handles,
                      const QList<QWidget *> &inert)
        : QObject(window), window_(window), handles_(handles), inert_(inert) {}

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() != QEvent::MouseButtonPress &&
            event->type() != QEvent::MouseButtonDblClick) {
            return false;
        }
        auto *widget = qobject_cast<QWidget *>(watched);
        if (inert_.contains(widget)) {
            event->accept();
            return true;
        }
        if (handles_.contains(widget)) {
            FormMouseDown(window_, static_cast<QMouseEvent *>(event)->button());
            event->accept();
            return true;
        }
        return false;
    }

  private:
    QWidget *window_;
    QList<QWidget *> handles_;
    QList<QWidget *> inert_;
};

}  // namespace

QList<QLabel *> AddProductTexts(QWidget *parent, const QPoint &origin, const QColor &editionColor) {
    // Right edge and rows follow the drawing: the edition line sits just under the product
    // name, the maker block and the copyright block in the free space below it.
    const int right = origin.x() + 404;
    const int top = origin.y();
    return {
        NewPictureLabel(parent, QStringLiteral("RzLabel7"), QStringLiteral("for education"), 13,
                        editionColor, right, top + 68),
        NewPictureLabel(parent, QStringLiteral("RzLabel8"), QStringLiteral("TX Network Tools"), 13,
                        LookGreyText(), right, top + 146),
        NewPictureLabel(parent, QStringLiteral("RzLabel9"),
                        QStringLiteral("Haldrin Software Laboratory (Haldrin)"), 13, LookGreyText(),
                        right, top + 164),
        NewPictureLabel(parent, QStringLiteral("RzLabel10"),
                        QStringLiteral("Copyright \u00A9 2014-2026 Haldrin"), 11, LookGreyText(),
                        right, top + 204),
        NewPictureLabel(parent, QStringLiteral("RzLabel11"), QStringLiteral("All rights reserved."),
                        11, LookGreyText(), right, top + 219),
    };
}

void SetDefaultScreenCursor() {
    while (QApplication::overrideCursor() != nullptr) {
        QApplication::restoreOverrideCursor();
    }
}

void FormMouseDown(QWidget *window, Qt::MouseButton button) {
    QApplication::setOverrideCursor(Qt::SizeAllCursor);
    if (button == Qt::LeftButton) {
        if (MoveStarter()) {
            MoveStarter()(window);
        } else if (QWindow *handle = window->windowHandle()) {
            // The window manager runs the move until the button is released; the press that
            // started it must not stay grabbed by the widget.
            if (QWidget *grabber = QWidget::mouseGrabber()) {
                grabber->releaseMouse();
            }
            handle->startSystemMove();
        }
    }
    QApplication::restoreOverrideCursor();
}

void InstallWindowDrag(QWidget *window, const QList<QWidget *> &handles,
                       const QList<QWidget *> &inert) {
    auto *filter = new TWindowDragFilter(window, handles, inert);
    for (QWidget *widget : handles) {
        widget->installEventFilter(filter);
    }
    for (QWidget *widget : inert) {
        widget->installEventFilter(filter);
    }
}

void SetWindowMoveStarter(const std::function<void(QWidget *)> &starter) {
    MoveStarter() = starter;
}
