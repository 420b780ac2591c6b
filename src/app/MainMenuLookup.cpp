// Address information and geolocation commands of the main window.
#include <QLineEdit>
#include <QTextEdit>

#include "app/MainMenuUnit.h"
#include "common/BrowserWindows.h"
#include "common/Errors.h"
#include "lookup/DataUnit.h"
#include "lookup/Whois.h"

void TMainMenuForm::GetAddressInformationActionExecute() {
    if (data_ == nullptr) {
        throw TxError(QStringLiteral("The data module is not available."));
    }
    // The address goes as typed; a failed query raises before any pane changes.
    const QString reply = data_->GetRIPE(AddressEdit->text());
    WriteWhoisResult(DebugMemo->document(), reply, InfoColor);
    // The scratch pane is left empty after a lookup, whatever it held before.
    TempMemo->clear();
}

void TMainMenuForm::AddressGeolocationActionExecute() {
    GeolocationForm->Execute();
}
