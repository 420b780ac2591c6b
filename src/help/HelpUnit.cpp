#include "help/HelpUnit.h"

THelpForm *HelpForm = nullptr;

THelpForm::THelpForm(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("HelpForm"));
    setWindowTitle(QStringLiteral("On-line help"));
}

int THelpForm::Execute() { return exec(); }
