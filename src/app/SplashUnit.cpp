#include "app/SplashUnit.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QWindow>

#include "common/BoxParts.h"

TSplashForm *SplashForm = nullptr;

TSplashForm::TSplashForm(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SplashForm"));
    setWindowTitle(QStringLiteral("Splash Form"));
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
    setFixedSize(427, 251);
    PaintDark(this);

    LogoImage =
        NewArtworkLabel(this, QStringLiteral("LogoImage"), QStringLiteral("Owl.jpg"), rect());

    const QPoint pictureOrigin((width() - 420) / 2, (height() - 250) / 2);
    const QList<QLabel *> texts = AddProductTexts(this, pictureOrigin, LookGreyText());
    RzLabel7 = texts.at(0);
    RzLabel8 = texts.at(1);
    RzLabel9 = texts.at(2);
    RzLabel10 = texts.at(3);
    RzLabel11 = texts.at(4);

    InstallWindowDrag(this, {this, LogoImage}, QList<QWidget *>(texts.cbegin(), texts.cend()));
}

bool TSplashForm::Execute() {
    SetDefaultScreenCursor();
    return exec() == mrOk;
}

void TSplashForm::setVisible(bool visible) {
    if (visible && !isVisible()) {
        CenterOnScreen(this);
    }
    QDialog::setVisible(visible);
    if (!visible) {
        return;
    }
    // The platform maps the window asynchronously; painting before that is lost. Wait a short,
    // bounded while for the window to be exposed, then paint at once.
    QDeadlineTimer deadline(1000);
    while (windowHandle() != nullptr && !windowHandle()->isExposed() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    }
    repaint();
}

void TSplashForm::FormMouseDown(Qt::MouseButton button) {
    ::FormMouseDown(this, button);
}
