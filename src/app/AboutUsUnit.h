#pragma once

#include <QDialog>

class TAboutUsForm final : public QDialog {
    Q_OBJECT

public:
    explicit TAboutUsForm(QWidget *parent = nullptr);

    // Shows the window modally; returns its modal result.
    int Execute();
};

extern TAboutUsForm *AboutUsForm;
