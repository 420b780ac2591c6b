#pragma once

#include "common/WindowPlacement.h"

#include <QColor>
#include <QList>
#include <QObject>
#include <QPixmap>
#include <functional>

class QLabel;
class QToolButton;
class QWidget;

// Pieces shared by the small picture windows (splash, about box, update, contact, help): the
// shipped artwork, picture buttons with their caption labels, texts laid over a picture, and
// the window drag of the borderless boxes.

// Modal results of the boxes.
constexpr int mrOk = 1;
constexpr int mrCancel = 2;

// Colours of the dark boxes: background (62, 62, 62), "grey" and "medium grey" texts.
inline QColor BoxBackgroundColor() {
    return QColor(62, 62, 62);
}
inline QColor BoxGreyText() {
    return QColor(128, 128, 128);
}
inline QColor BoxMediumGreyText() {
    return QColor(160, 160, 164);
}

// Returns a picture of the shipped artwork by file name ("Owl.jpg", "ButtonClose.png", ...);
// a null pixmap when there is no such picture.
QPixmap ArtworkPicture(const QString &fileName);

// Gives `widget` its own dark background and grey text, so that it looks right even before the
// application's style is applied (the start-up splash is painted that early).
void PaintDark(QWidget *widget);

// A flat picture button of `size` x `size` pixels showing the artwork `picture`.
QToolButton *NewPictureButton(QWidget *parent, const QString &objectName, const QString &picture,
                              int size, const QString &hint = QString());

// The caption beside a picture button: shows a hand cursor and does nothing when clicked.
QLabel *NewButtonLabel(QWidget *parent, const QString &objectName, const QString &text);

// A right-aligned text in Arial of `pixelSize` pixels and `color`, laid over a picture with its
// right edge at `right` and its top at `top`. The label is only as wide as its text, so that the
// picture around it stays a drag handle.
QLabel *NewPictureLabel(QWidget *parent, const QString &objectName, const QString &text,
                        int pixelSize, const QColor &color, int right, int top);

// Lays the five product texts of the splash and the about box over the owl picture whose top
// left corner is at `origin` in `parent`: the edition line in `editionColor`, the product family,
// the maker, and the two copyright lines. Returns the labels in that order.
QList<QLabel *> AddProductTexts(QWidget *parent, const QPoint &origin, const QColor &editionColor);

// Sets the screen cursor back to the default arrow (drops every override cursor).
void SetDefaultScreenCursor();

// The drag routine of the borderless windows: the four-way move cursor for the moment of the
// press; a left button hands the window to the window manager's move loop.
void FormMouseDown(QWidget *window, Qt::MouseButton button);

// Makes a press on any of `handles` run FormMouseDown for `window`. Presses on `inert` widgets
// (labels over the picture) are swallowed, so they never reach a handle beneath them.
void InstallWindowDrag(QWidget *window, const QList<QWidget *> &handles,
                       const QList<QWidget *> &inert);

// Replaces the platform's move loop (QWindow::startSystemMove) for the whole process; tests use
// it to see which window a press would move. An empty function puts the platform back.
void SetWindowMoveStarter(const std::function<void(QWidget *)> &starter);
