#pragma once

#include <QDialog>

class THelpForm final : public QDialog {
    Q_OBJECT

public:
    explicit THelpForm(QWidget *parent = nullptr);

    // Shows the window modally; returns its modal result.
    int Execute();
};

extern THelpForm *HelpForm;
