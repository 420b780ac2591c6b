#include "app/AboutUsUnit.h"

TAboutUsForm *AboutUsForm = nullptr;

TAboutUsForm::TAboutUsForm(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutUsForm"));
    setWindowTitle(QStringLiteral("About Us"));
}

int TAboutUsForm::Execute() { return exec(); }
