#include "common/WindowPlacement.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QRect>
#include <QScreen>
#include <QTimer>
#include <QWidget>

void CenterOnScreen(QWidget *window) {
    QScreen *screen = window->screen();
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return;
    }
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

namespace {

bool TakesKeyboard(const QWidget *widget) {
    if (!widget->isWindow()) {
        return false;
    }
    const Qt::WindowType type = widget->windowType();
    return type == Qt::Window || type == Qt::Dialog;
}

class KeyboardHandOver final : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() != QEvent::Show && event->type() != QEvent::Hide) {
            return false;
        }
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget == nullptr || !TakesKeyboard(widget)) {
            return false;
        }
        if (event->type() == QEvent::Show) {
            QPointer<QWidget> shown(widget);
            QTimer::singleShot(0, this, [shown] {
                if (shown && shown->isVisible() && QApplication::activeWindow() != shown) {
                    shown->activateWindow();
                }
            });
        } else {
            QPointer<QWidget> parent(widget->parentWidget() ? widget->parentWidget()->window()
                                                            : nullptr);
            QTimer::singleShot(0, this, [parent] {
                if (QApplication::activeWindow() != nullptr) {
                    return;
                }
                QWidget *next = QApplication::activeModalWidget();
                if (next == nullptr) {
                    next = parent;
                }
                if (next != nullptr && next->isVisible()) {
                    next->activateWindow();
                }
            });
        }
        return false;
    }
};

}  // namespace

void InstallKeyboardHandOver() {
    static KeyboardHandOver *handOver = nullptr;
    if (handOver == nullptr && qApp != nullptr) {
        handOver = new KeyboardHandOver(qApp);
        qApp->installEventFilter(handOver);
    }
}
