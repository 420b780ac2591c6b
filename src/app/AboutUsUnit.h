#pragma once

#include <QDialog>

class QLabel;
class QToolButton;
class QWidget;

// The borderless about box: the owl artwork with the product texts, and a bar with Close.
class TAboutUsForm final : public QDialog {
    Q_OBJECT

  public:
    explicit TAboutUsForm(QWidget *parent = nullptr);

    // Sets the default cursor and shows the box modally; returns true only for the OK result,
    // which the box never sets.
    bool Execute();

    // The bottom-bar button: closes the box with Cancel.
    void StopPingBtnClick();
    // Escape and the frame's close button close with Cancel.
    void reject() override;

    // Window drag by the window, the picture panel, the picture or the bottom bar.
    void FormMouseDown(Qt::MouseButton button);

    QWidget *AddressPanel = nullptr;
    QLabel *Image1 = nullptr;
    QLabel *RzLabel7 = nullptr;
    QLabel *RzLabel8 = nullptr;
    QLabel *RzLabel9 = nullptr;
    QLabel *RzLabel10 = nullptr;
    QLabel *RzLabel11 = nullptr;
    QWidget *RzPanel1 = nullptr;
    QLabel *RzLabel6 = nullptr;
    QToolButton *RzBmpButton1 = nullptr;
};

extern TAboutUsForm *AboutUsForm;
