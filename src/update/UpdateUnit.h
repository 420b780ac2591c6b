#pragma once

#include <QDialog>

class TUpgradeForm final : public QDialog {
    Q_OBJECT

public:
    explicit TUpgradeForm(QWidget *parent = nullptr);

    // Shows the window modally; returns its modal result.
    int Execute();
};

extern TUpgradeForm *UpgradeForm;
