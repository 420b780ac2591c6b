#include "update/UpdateUnit.h"

TUpgradeForm *UpgradeForm = nullptr;

TUpgradeForm::TUpgradeForm(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("UpgradeForm"));
    setWindowTitle(QStringLiteral(""));
}

int TUpgradeForm::Execute() { return exec(); }
