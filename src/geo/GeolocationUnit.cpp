#include "geo/GeolocationUnit.h"

TGeolocationForm *GeolocationForm = nullptr;

TGeolocationForm::TGeolocationForm(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("GeolocationForm"));
    setWindowTitle(QStringLiteral("Address Geolocation"));
}

int TGeolocationForm::Execute() { return exec(); }
