#pragma once

#include "common/WindowLook.h"
#include "common/WindowPlacement.h"

#include <QColor>
#include <QList>
#include <QObject>
#include <functional>

class QLabel;
class QWidget;

// Pieces shared by the small picture windows (splash, about box, update, contact, help): their
// modal results, the product texts laid over the owl picture, and the window drag of the
// borderless boxes. Their look (artwork, picture buttons and captions) is in WindowLook.h.

// Modal results of the boxes.
constexpr int mrOk = 1;
constexpr int mrCancel = 2;

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
