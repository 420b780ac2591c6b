// Address information and geolocation commands of the main window.
#include "app/MainMenuUnit.h"

#include "geo/GeolocationUnit.h"

void TMainMenuForm::GetAddressInformationActionExecute() {}
void TMainMenuForm::AddressGeolocationActionExecute() { GeolocationForm->Execute(); }
