#include "contact/ContactUnit.h"

TContactForm *ContactForm = nullptr;

TContactForm::TContactForm(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ContactForm"));
    setWindowTitle(QStringLiteral(""));
}

int TContactForm::Execute() { return exec(); }
