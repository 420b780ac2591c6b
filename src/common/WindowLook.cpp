#include "common/WindowLook.h"

#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPalette>
#include <QStyleFactory>
#include <QToolButton>

// Outside any namespace: the icons live in a static library, whose resource initialiser the
// linker would otherwise drop.
static void InitCommandIcons() {
    Q_INIT_RESOURCE(TarvexIcons);
}

void ApplyDarkStyle(QApplication &app) {
    QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion"));
    if (fusion != nullptr) {
        app.setStyle(fusion);
    }
    const QColor background = LookWindowColor();
    const QColor text = LookTextColor();
    const QColor disabledText(120, 120, 120);
    QPalette palette;
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, LookPaneColor());
    palette.setColor(QPalette::AlternateBase, background);
    palette.setColor(QPalette::ToolTipBase, QColor(80, 80, 80));
    palette.setColor(QPalette::ToolTipText, QColor(220, 220, 220));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, background);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, QColor(255, 128, 0));
    palette.setColor(QPalette::Light, QColor(90, 90, 90));
    palette.setColor(QPalette::Midlight, QColor(76, 76, 76));
    palette.setColor(QPalette::Mid, QColor(50, 50, 50));
    palette.setColor(QPalette::Dark, QColor(36, 36, 36));
    palette.setColor(QPalette::Shadow, QColor(20, 20, 20));
    palette.setColor(QPalette::Highlight, QColor(0, 110, 170));
    palette.setColor(QPalette::HighlightedText, QColor(240, 240, 240));
    palette.setColor(QPalette::Link, QColor(0, 150, 220));
    palette.setColor(QPalette::PlaceholderText, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::Text, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, disabledText);
    app.setPalette(palette);
}

void PaintDark(QWidget *widget, const QColor &text, const QColor &surface) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, surface);
    palette.setColor(QPalette::WindowText, text);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void PaintDarkControls(QWidget *widget, const QColor &text, const QColor &pane) {
    PaintDark(widget, text);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, pane);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, LookWindowColor());
    palette.setColor(QPalette::ButtonText, text);
    widget->setPalette(palette);
}

void SetTextColor(QWidget *widget, const QColor &color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

void PaintPane(QWidget *widget, const QColor &pane, const QColor &text) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, pane);
    palette.setColor(QPalette::Text, text);
    widget->setPalette(palette);
}

QFont WindowFont(int pointSize) {
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(pointSize);
    return font;
}

QFont WindowPixelFont(int pixelSize) {
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(pixelSize);
    return font;
}

QFont FittingWindowFont(int pointSize) {
    QFont font = WindowFont(pointSize);
    font.setFamilies(
        {QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    return font;
}

QFont PictureTextFont(int pixelSize) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixelSize);
    return font;
}

QFont MessageFont() {
    return QFont(QStringLiteral("Arial"), 11);
}

QPixmap ArtworkPicture(const QString &fileName) {
    return QPixmap(QStringLiteral(":/artwork/") + fileName);
}

QIcon ArtworkIcon(const QString &fileName) {
    return QIcon(ArtworkPicture(fileName));
}

QString CommandIconPath(const QString &name) {
    static const bool initialised = [] {
        InitCommandIcons();
        return true;
    }();
    Q_UNUSED(initialised);
    return QStringLiteral(":/icons/%1.svg").arg(name);
}

QIcon CommandIcon(const QString &name) {
    return QIcon(CommandIconPath(name));
}

QLabel *NewLabel(QWidget *parent, const QString &objectName, const QString &text) {
    auto *label = new QLabel(text, parent);
    label->setObjectName(objectName);
    return label;
}

QLabel *NewArtworkLabel(QWidget *parent, const QString &objectName, const QString &picture,
                        const QRect &geometry) {
    QLabel *label = NewLabel(parent, objectName, QString());
    label->setAlignment(Qt::AlignCenter);
    label->setPixmap(ArtworkPicture(picture));
    label->setGeometry(geometry);
    return label;
}

QToolButton *NewPictureButton(QWidget *parent, const QString &objectName, const QString &picture,
                              int size, const QString &hint) {
    auto *button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::TabFocus);
    button->setFixedSize(size, size);
    button->setIcon(ArtworkIcon(picture));
    button->setIconSize(QSize(size - 2, size - 2));
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0px; }"));
    if (!hint.isEmpty()) {
        button->setToolTip(hint);
    }
    return button;
}

QToolButton *NewCommandButton(QWidget *parent, const QString &objectName, QAction *action,
                              const QIcon &icon, int size, int iconSize, const QString &hint) {
    auto *button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setIcon(icon);
    button->setIconSize(QSize(iconSize, iconSize));
    button->setFixedSize(size, size);
    button->setAutoRaise(true);
    button->setToolTip(hint);
    QObject::connect(button, &QToolButton::clicked, action, &QAction::trigger);
    return button;
}

QLabel *NewButtonLabel(QWidget *parent, const QString &objectName, const QString &text) {
    QLabel *label = NewLabel(parent, objectName, text);
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

QLabel *NewPictureLabel(QWidget *parent, const QString &objectName, const QString &text,
                        int pixelSize, const QColor &color, int right, int top) {
    QLabel *label = NewLabel(parent, objectName, text);
    const QFont font = PictureTextFont(pixelSize);
    label->setFont(font);
    SetTextColor(label, color);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setAttribute(Qt::WA_TranslucentBackground);
    const int width = QFontMetrics(font).horizontalAdvance(text) + 4;
    const int height = pixelSize + 6;
    label->setGeometry(right - width, top, width, height);
    return label;
}
