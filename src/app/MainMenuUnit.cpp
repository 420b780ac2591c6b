#include "app/MainMenuUnit.h"

#include <QLineEdit>
#include <QShowEvent>
#include <QTextEdit>
#include <QVBoxLayout>

#include "app/AboutUsUnit.h"
#include "contact/ContactUnit.h"
#include "help/HelpUnit.h"
#include "update/UpdateUnit.h"

TMainMenuForm *MainMenuForm = nullptr;

TMainMenuForm::TMainMenuForm(QWidget *parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("MainMenuForm"));
    setWindowTitle(QStringLiteral("Tarvex"));
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    AddressEdit = new QLineEdit(central);
    AddressEdit->setObjectName(QStringLiteral("AddressEdit"));
    DebugMemo = new QTextEdit(central);
    DebugMemo->setObjectName(QStringLiteral("DebugMemo"));
    AddressMemo = new QTextEdit(central);
    AddressMemo->setObjectName(QStringLiteral("AddressMemo"));
    TempMemo = new QTextEdit(central);
    TempMemo->setObjectName(QStringLiteral("TempMemo"));
    TempMemo->hide();
    DBRichEdit = new QTextEdit(central);
    DBRichEdit->setObjectName(QStringLiteral("DBRichEdit"));
    DBRichEdit->hide();
    layout->addWidget(AddressEdit);
    layout->addWidget(DebugMemo);
    layout->addWidget(AddressMemo);
    setCentralWidget(central);
    resize(914, 532);
}

void TMainMenuForm::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TMainMenuForm::FormShow() {}

void TMainMenuForm::SinglePingActionExecute() {}
void TMainMenuForm::PingListOfAddressesActionExecute() {}
void TMainMenuForm::InitPingActionExecute() {}
void TMainMenuForm::ChangeSystemSettings() {}
void TMainMenuForm::SystemSettingsActionExecute() {}
void TMainMenuForm::ClearAllActionExecute() {}
void TMainMenuForm::ClearMemoActionExecute() {}

void TMainMenuForm::OnLineHelpActionExecute() { HelpForm->Execute(); }
void TMainMenuForm::ContsctUsActionExecute() { ContactForm->Execute(); }
void TMainMenuForm::CheckForUpdatesActionExecute() { UpgradeForm->Execute(); }
void TMainMenuForm::AboutTarvexActionExecute() { AboutUsForm->Execute(); }
