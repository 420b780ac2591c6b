#pragma once

#include <QDialog>

#include "contact/ContactMail.h"
#include "contact/UserIdentifier.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QToolButton;

// The contact window: a short message to the makers' support mailbox, sent at once by SMTP with
// the user identifier. What the user typed stays in the window between openings.
class TContactForm final : public QDialog {
    Q_OBJECT

  public:
    explicit TContactForm(QWidget *parent = nullptr);

    // Sets the default cursor and shows the window modally; returns true when it was closed by
    // sending.
    bool Execute();

    // Every opening: a fresh identifier in IDEdit; the other fields keep their texts.
    void FormShow();
    // Send: SendMessage, then close with OK. A mail that could not be sent is reported
    // ("The message could not be sent: " and the reason) and the window stays open.
    void StartPingBtnClick();
    // Cancel: close with Cancel, nothing is sent.
    void StopPingBtnClick();
    // Escape and the frame's close button close with Cancel.
    void reject() override;
    // Composes MSG from the window's fields and sends it with txSMTP. Throws TxError with the
    // text shown to the user when the mail could not be sent.
    void SendMessage();

    // The identifier (held here; its parts are the settings holder's in the original layout).
    TUserIdentifier Identifier;
    TMailMessage MSG;
    TSmtpClient txSMTP;

    QLabel *RzLabel1 = nullptr;
    QLineEdit *IDEdit = nullptr;
    QLabel *AddressLabel = nullptr;
    QLineEdit *UserNameEdit = nullptr;
    QLabel *RzLabel2 = nullptr;
    QLineEdit *SubjectEdit = nullptr;
    QLabel *Image1 = nullptr;
    QLabel *Label5 = nullptr;
    QPlainTextEdit *MessageMemo = nullptr;
    QLabel *Label2 = nullptr;
    QToolButton *StartPingBtn = nullptr;
    QLabel *Label1 = nullptr;
    QToolButton *StopPingBtn = nullptr;

  protected:
    void showEvent(QShowEvent *event) override;
};

extern TContactForm *ContactForm;
