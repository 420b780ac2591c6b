#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QString>

class QAction;
class QApplication;
class QLabel;
class QToolButton;
class QWidget;

// One source for the look of every window: the colours of the dark style, the faces, the artwork
// of the picture buttons, the icons of the commands, and the factory of the named labels and
// buttons the windows are built from.

// Colours of the dark look.
inline QColor LookWindowColor() {  // window surfaces and buttons
    return QColor(62, 62, 62);
}
inline QColor LookPaneColor() {  // panes, lists and edit fields
    return QColor(46, 46, 46);
}
inline QColor LookMainPaneColor() {  // the main window's panes and graphs
    return QColor(48, 48, 48);
}
inline QColor LookTextColor() {  // texts on every surface
    return QColor(192, 192, 192);
}
inline QColor LookGreyText() {  // "grey" texts over pictures
    return QColor(128, 128, 128);
}
inline QColor LookMediumGreyText() {  // "medium grey" texts over pictures
    return QColor(160, 160, 164);
}

// The style of the whole program: Fusion with the dark palette. Windows that want other text or
// pane colours paint themselves with PaintDark or PaintDarkControls.
void ApplyDarkStyle(QApplication &app);

// Gives `widget` its own `surface` background and `text` colour, so that it looks right even
// before the application's style is applied (the start-up splash is painted that early).
void PaintDark(QWidget *widget, const QColor &text = LookTextColor(),
               const QColor &surface = LookWindowColor());

// PaintDark, and the panes, fields and buttons of `widget` in `pane` with texts in `text`.
void PaintDarkControls(QWidget *widget, const QColor &text, const QColor &pane = LookPaneColor());

// Texts of `widget` (a label's) in `color`.
void SetTextColor(QWidget *widget, const QColor &color);

// A text pane of `pane` colour with texts in `text`.
void PaintPane(QWidget *widget, const QColor &pane, const QColor &text);

// The windows' face: Tahoma of `pointSize` points (the system substitutes its own sans face
// where Tahoma is missing).
QFont WindowFont(int pointSize = 8);
// Tahoma of `pixelSize` pixels, for the windows laid out in pixels (file, report, help).
QFont WindowPixelFont(int pixelSize = 11);
// Tahoma where it exists; otherwise a face of Arial's metrics rather than the wider default sans
// face, for windows whose captions are measured to fit their rows.
QFont FittingWindowFont(int pointSize = 8);
// Arial of `pixelSize` pixels: the texts laid over the artwork.
QFont PictureTextFont(int pixelSize);
// The face of a message the user types (Arial of 11 points).
QFont MessageFont();

// Returns a picture of the shipped artwork by file name ("Owl.jpg", "ButtonClose.png", ...);
// a null pixmap when there is no such picture.
QPixmap ArtworkPicture(const QString &fileName);
// The artwork picture as an icon.
QIcon ArtworkIcon(const QString &fileName);

// The program's icon set, by name ("ping", "save", "busy-on", ...): the pictures of the commands
// in menus and tool bars, and the window icon. CommandIconPath is the picture's resource path.
QIcon CommandIcon(const QString &name);
QString CommandIconPath(const QString &name);

// A label named `objectName` showing `text`.
QLabel *NewLabel(QWidget *parent, const QString &objectName, const QString &text);

// A label named `objectName` showing the artwork `picture`, centred, at `geometry`.
QLabel *NewArtworkLabel(QWidget *parent, const QString &objectName, const QString &picture,
                        const QRect &geometry);

// A flat picture button of `size` x `size` pixels showing the artwork `picture`.
QToolButton *NewPictureButton(QWidget *parent, const QString &objectName, const QString &picture,
                              int size, const QString &hint = QString());

// A flat button of `size` x `size` pixels showing `icon` at `iconSize` x `iconSize`, with the
// tip `hint`, that runs `action` when clicked.
QToolButton *NewCommandButton(QWidget *parent, const QString &objectName, QAction *action,
                              const QIcon &icon, int size, int iconSize, const QString &hint);

// The caption beside a picture button: shows a hand cursor and does nothing when clicked.
QLabel *NewButtonLabel(QWidget *parent, const QString &objectName, const QString &text);

// A right-aligned text in Arial of `pixelSize` pixels and `color`, laid over a picture with its
// right edge at `right` and its top at `top`. The label is only as wide as its text, so that the
// picture around it stays a drag handle.
QLabel *NewPictureLabel(QWidget *parent, const QString &objectName, const QString &text,
                        int pixelSize, const QColor &color, int right, int top);
