#pragma once

#include <QDialog>

class TContactForm final : public QDialog {
    Q_OBJECT

public:
    explicit TContactForm(QWidget *parent = nullptr);

    // Shows the window modally; returns its modal result.
    int Execute();
};

extern TContactForm *ContactForm;
