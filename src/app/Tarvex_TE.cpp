// Program start: temporary splash, application object, dark style, the single instances in
// their fixed order, then the message loop.
#include <unistd.h>
#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

#include "app/MainMenuUnit.h"
#include "app/SingleInstances.h"
#include "app/SplashUnit.h"
#include "common/WindowPlacement.h"

namespace {

// The dark look of every window: dark grey (62, 62, 62) surfaces with grey text.
void ApplyDarkStyle(QApplication &app) {
    QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion"));
    if (fusion != nullptr) {
        app.setStyle(fusion);
    }
    const QColor background(62, 62, 62);
    const QColor base(46, 46, 46);
    const QColor text(192, 192, 192);
    const QColor disabledText(120, 120, 120);
    QPalette palette;
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
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

}  // namespace

int main(int argc, char *argv[]) {
    // The embedded browser's sandbox cannot start for the root user.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvex"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0.1"));
    QApplication::setOrganizationName(QStringLiteral("Haldrin"));

    // Shown and painted before anything else is built, so the user sees the program start.
    auto *temporarySplash = new TSplashForm(nullptr);
    temporarySplash->show();
    temporarySplash->repaint();
    QApplication::processEvents();

    ApplyDarkStyle(app);

    CreateSingleInstances();

    temporarySplash->hide();
    delete temporarySplash;

    InstallKeyboardHandOver();
    MainMenuForm->show();
    const int result = QApplication::exec();
    DestroySingleInstances();
    return result;
}
