#include "help/HelpUnit.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWebEngineView>

#include "common/BoxParts.h"
#include "common/WindowOpening.h"
#include "help/HelpPages.h"

THelpForm::THelpForm(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("HelpForm"));
    setWindowTitle(QStringLiteral("On-line help"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowMaximizeButtonHint);
    resize(659, 409);
    setSizeGripEnabled(true);
    setFont(WindowPixelFont());

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    AddressPanel = new QWidget(this);
    AddressPanel->setObjectName(QStringLiteral("AddressPanel"));
    AddressPanel->setFixedHeight(26);
    PaintDark(AddressPanel);
    auto *buttons = new QHBoxLayout(AddressPanel);
    buttons->setContentsMargins(4, 2, 4, 2);
    buttons->setSpacing(4);
    RzBmpButton2 = NewPictureButton(AddressPanel, QStringLiteral("RzBmpButton2"),
                                    QStringLiteral("ButtonBack.png"), 22);
    RzBmpButton1 = NewPictureButton(AddressPanel, QStringLiteral("RzBmpButton1"),
                                    QStringLiteral("ButtonForward.png"), 22);
    Label1 = NewButtonLabel(AddressPanel, QStringLiteral("Label1"), QStringLiteral("Refresh"));
    RzBmpButton3 = NewPictureButton(AddressPanel, QStringLiteral("RzBmpButton3"),
                                    QStringLiteral("ButtonRefresh.png"), 22);
    Label12 = NewButtonLabel(AddressPanel, QStringLiteral("Label12"), QStringLiteral("Stop"));
    StopPingBtn =
        NewPictureButton(AddressPanel, QStringLiteral("StopPingBtn"),
                         QStringLiteral("ButtonStop.png"), 20, QStringLiteral("Stop process ..."));
    buttons->addWidget(RzBmpButton2);
    buttons->addWidget(RzBmpButton1);
    buttons->addSpacing(12);
    buttons->addWidget(Label1);
    buttons->addWidget(RzBmpButton3);
    buttons->addSpacing(12);
    buttons->addWidget(Label12);
    buttons->addWidget(StopPingBtn);
    buttons->addStretch(1);
    layout->addWidget(AddressPanel);

    // Holds the web view once it exists.
    browserPlace_ = new QWidget(this);
    browserPlace_->setObjectName(QStringLiteral("BrowserPlace"));
    auto *browserLayout = new QVBoxLayout(browserPlace_);
    browserLayout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browserPlace_, 1);

    StatusPanel = new QWidget(this);
    StatusPanel->setObjectName(QStringLiteral("StatusPanel"));
    StatusPanel->setFixedHeight(18);
    PaintDark(StatusPanel);
    auto *status = new QHBoxLayout(StatusPanel);
    status->setContentsMargins(6, 0, 16, 0);
    status->addStretch(1);
    Label2 =
        NewLabel(StatusPanel, QStringLiteral("Label2"), QStringLiteral("TX Help for Ping module"));
    status->addWidget(Label2);
    layout->addWidget(StatusPanel);

    connect(RzBmpButton2, &QToolButton::clicked, this, [this] { RzBmpButton2Click(); });
    connect(RzBmpButton1, &QToolButton::clicked, this, [this] { RzBmpButton1Click(); });
    connect(RzBmpButton3, &QToolButton::clicked, this, [this] { RzBmpButton3Click(); });
    connect(StopPingBtn, &QToolButton::clicked, this, [this] { StopPingBtnClick(); });
}

bool THelpForm::Execute() {
    CenterOnScreen(this);
    return ExecBlockingOtherWindows(this) == mrOk;
}

void THelpForm::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (IsWindowOpening(event)) {
        FormShow();
    }
}

void THelpForm::CreateBrowser() {
    WB = new QWebEngineView(browserPlace_);
    WB->setObjectName(QStringLiteral("WB"));
    browserPlace_->layout()->addWidget(WB);
    connect(WB, &QWebEngineView::loadStarted, this, [this] { busy_ = true; });
    connect(WB, &QWebEngineView::loadFinished, this, [this] { busy_ = false; });
}

void THelpForm::FormShow() {
    if (WB == nullptr) {
        CreateBrowser();
    }
    WB->setUrl(HelpStartPageUrl());
}

void THelpForm::UpdateControls() {
    if (WB != nullptr && busy_) {
        WB->stop();
    }
}

void THelpForm::RzBmpButton2Click() {
    UpdateControls();
    if (WB != nullptr) {
        WB->back();
    }
}

void THelpForm::RzBmpButton1Click() {
    UpdateControls();
    if (WB != nullptr) {
        WB->forward();
    }
}

void THelpForm::RzBmpButton3Click() {
    if (WB != nullptr) {
        WB->reload();
    }
}

void THelpForm::StopPingBtnClick() {
    UpdateControls();
}

void THelpForm::reject() {
    done(mrCancel);
}
