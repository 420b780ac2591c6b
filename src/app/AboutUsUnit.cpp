#include "app/AboutUsUnit.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

#include "common/BoxParts.h"

TAboutUsForm *AboutUsForm = nullptr;

TAboutUsForm::TAboutUsForm(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutUsForm"));
    setWindowTitle(QStringLiteral("About Us"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFixedSize(433, 282);
    PaintDark(this);

    const int barHeight = 26;
    AddressPanel = new QWidget(this);
    AddressPanel->setObjectName(QStringLiteral("AddressPanel"));
    AddressPanel->setGeometry(0, 0, width(), height() - barHeight);

    Image1 = NewArtworkLabel(AddressPanel, QStringLiteral("Image1"), QStringLiteral("Owl.jpg"),
                             AddressPanel->rect());

    const QPoint pictureOrigin((AddressPanel->width() - 420) / 2,
                               (AddressPanel->height() - 250) / 2);
    const QList<QLabel *> texts =
        AddProductTexts(AddressPanel, pictureOrigin, LookMediumGreyText());
    RzLabel7 = texts.at(0);
    RzLabel8 = texts.at(1);
    RzLabel9 = texts.at(2);
    RzLabel10 = texts.at(3);
    RzLabel11 = texts.at(4);

    RzPanel1 = new QWidget(this);
    RzPanel1->setObjectName(QStringLiteral("RzPanel1"));
    RzPanel1->setGeometry(0, height() - barHeight, width(), barHeight);
    auto *bar = new QHBoxLayout(RzPanel1);
    bar->setContentsMargins(6, 2, 6, 2);
    bar->setSpacing(4);
    bar->addStretch(1);
    RzLabel6 = NewButtonLabel(RzPanel1, QStringLiteral("RzLabel6"), QStringLiteral("Close"));
    bar->addWidget(RzLabel6);
    RzBmpButton1 = NewPictureButton(RzPanel1, QStringLiteral("RzBmpButton1"),
                                    QStringLiteral("ButtonClose.png"), 20);
    bar->addWidget(RzBmpButton1);
    connect(RzBmpButton1, &QToolButton::clicked, this, [this] { StopPingBtnClick(); });

    QList<QWidget *> inert(texts.cbegin(), texts.cend());
    inert.append(RzLabel6);
    InstallWindowDrag(this, {this, AddressPanel, Image1, RzPanel1}, inert);
}

bool TAboutUsForm::Execute() {
    SetDefaultScreenCursor();
    CenterOnScreen(this);
    return exec() == mrOk;
}

void TAboutUsForm::StopPingBtnClick() {
    done(mrCancel);
}

void TAboutUsForm::FormMouseDown(Qt::MouseButton button) {
    ::FormMouseDown(this, button);
}

void TAboutUsForm::reject() {
    done(mrCancel);
}
