#pragma once

#include <QDialog>

class QLabel;

// The borderless start-up picture: the owl artwork with the product texts laid over it.
class TSplashForm final : public QDialog {
    Q_OBJECT

  public:
    explicit TSplashForm(QWidget *parent = nullptr);

    // Shows the window modally; returns true only for the OK result, which it never sets.
    bool Execute();

    // Showing returns only once the picture is on the screen: start-up shows the splash just
    // before a long stretch without an event loop.
    void setVisible(bool visible) override;

    // Window drag by the picture or the window.
    void FormMouseDown(Qt::MouseButton button);

    QLabel *LogoImage = nullptr;
    QLabel *RzLabel7 = nullptr;
    QLabel *RzLabel8 = nullptr;
    QLabel *RzLabel9 = nullptr;
    QLabel *RzLabel10 = nullptr;
    QLabel *RzLabel11 = nullptr;
};

extern TSplashForm *SplashForm;
