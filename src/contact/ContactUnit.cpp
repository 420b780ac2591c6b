#include "contact/ContactUnit.h"

#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolButton>

#include "common/BlockingCall.h"
#include "common/BoxParts.h"
#include "common/CommandGuard.h"
#include "common/Errors.h"
#include "common/WindowOpening.h"

TContactForm *ContactForm = nullptr;

namespace {

QLabel *PlacedLabel(QWidget *parent, const QString &name, const QString &text, int x, int y) {
    QLabel *label = NewLabel(parent, name, text);
    label->move(x, y);
    label->adjustSize();
    return label;
}

QLineEdit *NewEdit(QWidget *parent, const QString &name, int x, int y, int width) {
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(x, y, width, 21);
    return edit;
}

}  // namespace

TContactForm::TContactForm(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ContactForm"));
    setWindowTitle(QString());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(529, 348);
    PaintDark(this);
    setFont(WindowFont());

    const int editLeft = 86;
    const int editWidth = 300;
    RzLabel1 = PlacedLabel(this, QStringLiteral("RzLabel1"), QStringLiteral("User ID"), 16, 17);
    IDEdit = NewEdit(this, QStringLiteral("IDEdit"), editLeft, 14, editWidth);
    IDEdit->setReadOnly(true);
    AddressLabel =
        PlacedLabel(this, QStringLiteral("AddressLabel"), QStringLiteral("User Name"), 16, 45);
    UserNameEdit = NewEdit(this, QStringLiteral("UserNameEdit"), editLeft, 42, editWidth);
    RzLabel2 = PlacedLabel(this, QStringLiteral("RzLabel2"), QStringLiteral("Subject"), 16, 73);
    SubjectEdit = NewEdit(this, QStringLiteral("SubjectEdit"), editLeft, 70, editWidth);

    Image1 = NewArtworkLabel(this, QStringLiteral("Image1"), QStringLiteral("Product.png"),
                             QRect(width() - 16 - 92, 10, 92, 84));

    Label5 = PlacedLabel(this, QStringLiteral("Label5"), QStringLiteral("Message:"), 16, 104);
    MessageMemo = new QPlainTextEdit(this);
    MessageMemo->setObjectName(QStringLiteral("MessageMemo"));
    MessageMemo->setFrameShape(QFrame::NoFrame);
    MessageMemo->setFont(MessageFont());
    MessageMemo->setGeometry(16, 122, width() - 32, 188);

    // The button bar: "Send a message" and "Cancel", each caption beside its picture button.
    const int barTop = height() - 30;
    StopPingBtn =
        NewPictureButton(this, QStringLiteral("StopPingBtn"), QStringLiteral("ButtonClose.png"), 20,
                         QStringLiteral("Stop process ..."));
    StopPingBtn->move(width() - 16 - 20, barTop);
    Label1 = NewButtonLabel(this, QStringLiteral("Label1"), QStringLiteral("Cancel"));
    Label1->adjustSize();
    Label1->move(StopPingBtn->x() - 4 - Label1->width(), barTop + (20 - Label1->height()) / 2);
    StartPingBtn = NewPictureButton(this, QStringLiteral("StartPingBtn"),
                                    QStringLiteral("ButtonSend.png"), 20);
    StartPingBtn->move(Label1->x() - 16 - 20, barTop);
    Label2 = NewButtonLabel(this, QStringLiteral("Label2"), QStringLiteral("Send a message"));
    Label2->adjustSize();
    Label2->move(StartPingBtn->x() - 4 - Label2->width(), barTop + (20 - Label2->height()) / 2);

    setTabOrder(UserNameEdit, SubjectEdit);
    setTabOrder(SubjectEdit, IDEdit);
    setTabOrder(IDEdit, MessageMemo);
    setTabOrder(MessageMemo, StartPingBtn);
    setTabOrder(StartPingBtn, StopPingBtn);
    MessageMemo->setTabChangesFocus(true);

    connect(StartPingBtn, &QToolButton::clicked, this, [this] { StartPingBtnClick(); });
    connect(StopPingBtn, &QToolButton::clicked, this, [this] { StopPingBtnClick(); });
}

bool TContactForm::Execute() {
    SetDefaultScreenCursor();
    CenterOnScreen(this);
    return exec() == mrOk;
}

void TContactForm::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (IsWindowOpening(event)) {
        FormShow();
    }
}

void TContactForm::FormShow() {
    Identifier.CreateSerialID();
    IDEdit->setText(Identifier.SerialID);
    UserNameEdit->setFocus();
}

void TContactForm::SendMessage() {
    const TSmtpSettings settings = ContactSmtpSettings();
    ComposeContactMail(
        &MSG, settings.From, settings.To, SubjectEdit->text(),
        ComposeContactBody(IDEdit->text(), UserNameEdit->text(), MessageMemo->toPlainText(),
                           QDateTime::currentDateTime()));
    txSMTP.Host = settings.Host;
    txSMTP.Port = settings.Port;
    txSMTP.Username = settings.Username;
    txSMTP.Password = settings.Password;
    const TSmtpClient client = txSMTP;
    const TMailMessage message = MSG;
    try {
        RunBlocking([client, message] { client.Send(message); });
    } catch (const std::exception &error) {
        throw TxError(QStringLiteral("The message could not be sent: ") + ErrorText(error),
                      QStringLiteral("EIdSMTPReplyError"));
    }
}

void TContactForm::StartPingBtnClick() {
    RunCommand(this, [this] {
        SendMessage();
        done(mrOk);
    });
}

void TContactForm::StopPingBtnClick() {
    done(mrCancel);
}

void TContactForm::reject() {
    done(mrCancel);
}
