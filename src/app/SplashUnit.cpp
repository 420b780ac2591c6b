#include "app/SplashUnit.h"

TSplashForm *SplashForm = nullptr;

TSplashForm::TSplashForm(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SplashForm"));
    setWindowTitle(QStringLiteral("Splash Form"));
}

int TSplashForm::Execute() { return exec(); }
