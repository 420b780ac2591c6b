#include "app/SingleInstances.h"

#include "app/AboutUsUnit.h"
#include "app/MainMenuUnit.h"
#include "app/SplashUnit.h"
#include "contact/ContactUnit.h"
#include "geo/GeolocationUnit.h"
#include "help/HelpUnit.h"
#include "lookup/DataUnit.h"
#include "reports/FileManager.h"
#include "reports/ReportUnit.h"
#include "settings/SystemSettingsUnit.h"
#include "update/UpdateUnit.h"

void CreateSingleInstances() {
    MainMenuForm = new TMainMenuForm();
    LocalFile = new TLocalFile(MainMenuForm);
    PingDataModule = new TPingDataModule(MainMenuForm);
    ReportForm = new TReportForm(MainMenuForm);
    AboutUsForm = new TAboutUsForm(MainMenuForm);
    SplashForm = new TSplashForm(MainMenuForm);
    SystemSettings = new TSystemSettings(MainMenuForm);
    GeolocationForm = new TGeolocationForm(MainMenuForm);
    HelpForm = new THelpForm(MainMenuForm);
    ContactForm = new TContactForm(MainMenuForm);
    UpgradeForm = new TUpgradeForm(MainMenuForm);
}

void DestroySingleInstances() {
    delete MainMenuForm;
    MainMenuForm = nullptr;
    LocalFile = nullptr;
    PingDataModule = nullptr;
    ReportForm = nullptr;
    AboutUsForm = nullptr;
    SplashForm = nullptr;
    SystemSettings = nullptr;
    GeolocationForm = nullptr;
    HelpForm = nullptr;
    ContactForm = nullptr;
    UpgradeForm = nullptr;
}
