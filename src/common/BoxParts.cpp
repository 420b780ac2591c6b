#include "common/BoxParts.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QToolButton>
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

QPixmap ArtworkPicture(const QString &fileName) {
    return QPixmap(QStringLiteral(":/artwork/") + fileName);
}

void PaintDark(QWidget *widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, BoxBackgroundColor());
    palette.setColor(QPalette::WindowText, QColor(192, 192, 192));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QToolButton *NewPictureButton(QWidget *parent, const QString &objectName, const QString &picture,
                              int size, const QString &hint) {
    auto *button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::TabFocus);
    button->setFixedSize(size, size);
    button->setIcon(QIcon(ArtworkPicture(picture)));
    button->setIconSize(QSize(size - 2, size - 2));
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0px; }"));
    if (!hint.isEmpty()) {
        button->setToolTip(hint);
    }
    return button;
}

QLabel *NewButtonLabel(QWidget *parent, const QString &objectName, const QString &text) {
    auto *label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

QLabel *NewPictureLabel(QWidget *parent, const QString &objectName, const QString &text,
                        int pixelSize, const QColor &color, int right, int top) {
    auto *label = new QLabel(text, parent);
    label->setObjectName(objectName);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixelSize);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setAttribute(Qt::WA_TranslucentBackground);
    const int width = QFontMetrics(font).horizontalAdvance(text) + 4;
    const int height = pixelSize + 6;
    label->setGeometry(right - width, top, width, height);
    return label;
}

QList<QLabel *> AddProductTexts(QWidget *parent, const QPoint &origin, const QColor &editionColor) {
    // Right edge and rows follow the drawing: the edition line sits just under the product
    // name, the maker block and the copyright block in the free space below it.
    const int right = origin.x() + 404;
    const int top = origin.y();
    return {
        NewPictureLabel(parent, QStringLiteral("RzLabel7"), QStringLiteral("for education"), 13,
                        editionColor, right, top + 68),
        NewPictureLabel(parent, QStringLiteral("RzLabel8"), QStringLiteral("TX Network Tools"), 13,
                        BoxGreyText(), right, top + 146),
        NewPictureLabel(parent, QStringLiteral("RzLabel9"),
                        QStringLiteral("Haldrin Software Laboratory (Haldrin)"), 13, BoxGreyText(),
                        right, top + 164),
        NewPictureLabel(parent, QStringLiteral("RzLabel10"),
                        QStringLiteral("Copyright \u00A9 2014-2026 Haldrin"), 11, BoxGreyText(),
                        right, top + 204),
        NewPictureLabel(parent, QStringLiteral("RzLabel11"), QStringLiteral("All rights reserved."),
                        11, BoxGreyText(), right, top + 219),
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
