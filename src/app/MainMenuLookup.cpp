// Address information and geolocation commands of the main window.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

#include "app/MainMenuUnit.h"
#include "common/BlockingCall.h"
#include "common/BrowserWindows.h"
#include "common/CommandGuard.h"
#include "common/Errors.h"
#include "common/TX_Edit.h"
#include "lookup/DataUnit.h"
#include "lookup/LocationDatabase.h"
#include "lookup/Whois.h"

namespace {

// How long the status bar says that a lookup was cancelled.
constexpr int kCancelledStatusMs = 15000;

}  // namespace

void TMainMenuForm::GetAddressInformationActionExecute() {
    if (data_ == nullptr) {
        throw TxError(QStringLiteral("The data module is not available."));
    }
    if (lookup_ == nullptr) {
        lookup_ = new TBackgroundCall(this);
    }
    // The address goes as typed. The query runs off the window's thread: the window stays live
    // and Esc cancels it. A failed query raises, once it has ended, before any pane changes.
    const QString address = AddressEdit->text();
    const auto query = data_->RipeQuery(address);
    const bool started = lookup_->Start(
        [this, query](const TCancelSignal &cancel) -> TBackgroundCall::TStep {
            const QString reply = query(cancel);
            return [this, reply] {
                // After the block a run is writing, never inside it.
                runs_->WriteAfterBlock(
                    [this, reply] { WriteWhoisResult(DebugMemo->document(), reply, InfoColor); });
                // The scratch pane is left empty after a lookup, whatever it held before.
                TempMemo->clear();
            };
        },
        [this](const TBackgroundCall::TStep &step) {
            SetLookupMode(false, QString());
            RunCommand(this, step);
        });
    if (started) {
        SetLookupMode(true, QStringLiteral("Looking up %1 at %2 ... (Esc cancels)")
                                .arg(address, WhoisServerAddress()));
    }
}

bool TMainMenuForm::IsLookingUp() const {
    return lookup_ != nullptr && lookup_->IsBusy();
}

bool TMainMenuForm::CancelLookup() {
    if (lookup_ == nullptr || !lookup_->Cancel()) {
        return false;
    }
    const QString status = QStringLiteral("The lookup was cancelled; the panes are as they were.");
    SetLookupMode(false, status);
    // A word that stays a while, as a status message does, unless something else took the line.
    QLabel *label = WatchLabel;
    QTimer::singleShot(kCancelledStatusMs, label, [label, status] {
        if (label->text() == status) {
            label->hide();
        }
    });
    return true;
}

void TMainMenuForm::SetLookupMode(bool on, const QString &status) {
    // As a run: the light on, the ping button stops it, the panes and the field cannot change.
    RefreshRunMode();
    ProcessIndicator->setEnabled(on || !runs_->IsIdle());
    WatchLabel->setText(status);
    WatchLabel->setVisible(!status.isEmpty());
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
        if (MayStart(GetAddressInformationAction)) {
            CountryAndNetworkExecute(address);
        }
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
    PopupCountryNetwork->setEnabled(!address.isEmpty() && MayStart(GetAddressInformationAction));
}

void TMainMenuForm::CountryAndNetworkExecute(const QString &address) {
    const QStringList lines = CountryAndNetworkLines(address, LocationDatabase());
    runs_->WriteAfterBlock([this, lines] {
        const TResultTarget target{DebugMemo->document(), InfoColor};
        for (const QString &line : lines) {
            WriteReport(target, line);
        }
    });
}
