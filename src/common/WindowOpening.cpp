#include "common/WindowOpening.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QShowEvent>

namespace {

bool IsInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TabletPress:
            return true;
        default:
            return false;
    }
}

// Drops input for every window but the modal one, its own windows (menus, its dialogs) and
// windows opened above it.
class OtherWindowsBlock final : public QObject {
  public:
    explicit OtherWindowsBlock(QDialog *window) : window_(window) {
        qApp->installEventFilter(this);
    }
    ~OtherWindowsBlock() override { qApp->removeEventFilter(this); }

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (!IsInput(event->type()) || !watched->isWidgetType() || window_.isNull()) {
            return false;
        }
        QWidget *target = static_cast<QWidget *>(watched)->window();
        if (target == window_ || window_->isAncestorOf(target) ||
            target->windowType() == Qt::Popup || target->windowType() == Qt::ToolTip) {
            return false;
        }
        // A modal window opened above this one (a message, a file window) takes its input.
        QWidget *modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal != window_ &&
            (target == modal || modal->isAncestorOf(target))) {
            return false;
        }
        return true;
    }

  private:
    QPointer<QDialog> window_;
};

}  // namespace

bool IsWindowOpening(const QShowEvent *event) {
    return !event->spontaneous();
}

int ExecBlockingOtherWindows(QDialog *window) {
    const OtherWindowsBlock block(window);
    return window->exec();
}

int ExecWithArrowCursor(QDialog *window) {
    // A caller busy with a wait cursor must not leave it over the window.
    const bool overridden = QApplication::overrideCursor() != nullptr;
    if (overridden) {
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    const int result = window->exec();
    if (overridden) {
        QApplication::restoreOverrideCursor();
    }
    return result;
}
