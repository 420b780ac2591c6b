// Address information and geolocation commands of the main window.
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

#include "app/MainMenuUnit.h"
#include "common/BrowserWindows.h"
#include "common/Errors.h"
#include "common/TX_Edit.h"
#include "lookup/DataUnit.h"
#include "lookup/LocationDatabase.h"
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

void TMainMenuForm::AddCountryNetworkEntry() {
    // An answer from the offline database, written like the WHOIS answer: it stays with the
    // session's results (saved and reported with them) instead of a box that is gone once read.
    // The entry belongs to the address pane's menu only: it joins the shared menu when that pane
    // opens it, and leaves it otherwise.
    PopupCountryNetwork = new QAction(QStringLiteral("Country and network"), ResultPopupMenu);
    PopupCountryNetwork->setObjectName(QStringLiteral("PopupCountryNetwork"));
    PopupCountryNetwork->setIcon(GetAddressInformationAction->icon());
    connect(PopupCountryNetwork, &QAction::triggered, this, [this] {
        const QString address = PopupCountryNetwork->data().toString();
        Guarded([this, address] { CountryAndNetworkExecute(address); });
    });
}

void TMainMenuForm::PreparePopupMenu(QTextEdit *pane, const QPoint &pos) {
    const QList<QAction *> entries = ResultPopupMenu->actions();
    const int at = entries.indexOf(PopupCountryNetwork);
    if (pane != AddressMemo) {
        if (at > 0) {
            // With the separator put before it.
            ResultPopupMenu->removeAction(PopupCountryNetwork);
            QAction *separator = entries.at(at - 1);
            ResultPopupMenu->removeAction(separator);
            separator->deleteLater();
        }
        return;
    }
    if (at < 0) {
        ResultPopupMenu->addSeparator();
        ResultPopupMenu->addAction(PopupCountryNetwork);
    }
    const QTextCursor selection = pane->textCursor();
    const QString address =
        FirstAddressIn(selection.hasSelection() ? selection.selectedText()
                                                : pane->cursorForPosition(pos).block().text());
    PopupCountryNetwork->setData(address);
    PopupCountryNetwork->setEnabled(!address.isEmpty() && !IsRunning());
}

void TMainMenuForm::CountryAndNetworkExecute(const QString &address) {
    const TResultTarget target{DebugMemo->document(), InfoColor};
    for (const QString &line : CountryAndNetworkLines(address, LocationDatabase())) {
        WriteReport(target, line);
    }
}
