#pragma once

#include <QDialog>

class TSplashForm final : public QDialog {
    Q_OBJECT

public:
    explicit TSplashForm(QWidget *parent = nullptr);

    // Shows the window modally; returns its modal result.
    int Execute();
};

extern TSplashForm *SplashForm;
