#include "update/UpdateUnit.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include "common/BlockingCall.h"
#include "common/BoxParts.h"
#include "common/DataPaths.h"
#include "common/DesktopOpen.h"
#include "common/TX_File.h"
#include "common/WindowOpening.h"
#include "update/VersionCheck.h"

TUpgradeForm *UpgradeForm = nullptr;

TUpgradeForm::TUpgradeForm(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("UpgradeForm"));
    setWindowTitle(QString());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint);
    setFixedSize(394, 256);
    PaintDark(this);

    const int barHeight = 24;
    Image1 = NewArtworkLabel(this, QStringLiteral("Image1"), QStringLiteral("OwlPointing.jpg"),
                             QRect(0, 0, width(), height() - barHeight));

    // The texts stand where the owl's wing points, right-aligned under the product name. They
    // are as wide as the free space, since the server's lines can be longer than the defaults.
    const auto newText = [this](const QString &name, const QString &text, int top) {
        QLabel *label = NewPictureLabel(this, name, text, 13, LookMediumGreyText(), 384, top);
        label->setGeometry(384 - 236, top, 236, label->height());
        return label;
    };
    VersionLabel = newText(QStringLiteral("VersionLabel"), QLatin1String(kCurrentVersionText), 62);
    InformationLabel_1 =
        newText(QStringLiteral("InformationLabel_1"), QStringLiteral("No updates available."), 96);
    InformationLabel_2 =
        newText(QStringLiteral("InformationLabel_2"), QStringLiteral("Changes are expected."), 114);

    RzPanel5 = new QWidget(this);
    RzPanel5->setObjectName(QStringLiteral("RzPanel5"));
    RzPanel5->setGeometry(0, height() - barHeight, width(), barHeight);
    auto *bar = new QHBoxLayout(RzPanel5);
    bar->setContentsMargins(6, 2, 6, 2);
    bar->setSpacing(4);
    bar->addStretch(1);
    CancelLabel = NewButtonLabel(RzPanel5, QStringLiteral("CancelLabel"), QStringLiteral("Cancel"));
    CancelButton = NewPictureButton(RzPanel5, QStringLiteral("CancelButton"),
                                    QStringLiteral("ButtonClose.png"), 20);
    OKLabel = NewButtonLabel(RzPanel5, QStringLiteral("OKLabel"), QStringLiteral("Update"));
    OKButton =
        NewPictureButton(RzPanel5, QStringLiteral("OKButton"), QStringLiteral("ButtonOK.png"), 20);
    bar->addWidget(CancelLabel);
    bar->addWidget(CancelButton);
    bar->addSpacing(10);
    bar->addWidget(OKLabel);
    bar->addWidget(OKButton);
    OKLabel->setVisible(false);
    OKButton->setVisible(false);
    connect(CancelButton, &QToolButton::clicked, this, [this] { CancelButtonClick(); });
    connect(OKButton, &QToolButton::clicked, this, [this] { OKButtonClick(); });

    InstallWindowDrag(
        this, {this, Image1, VersionLabel, InformationLabel_1, InformationLabel_2, RzPanel5}, {});
}

bool TUpgradeForm::Execute() {
    SetDefaultScreenCursor();
    CenterOnScreen(this);
    const int result = exec();
    NewUpdateReady = false;
    return result == mrOk;
}

void TUpgradeForm::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (!IsWindowOpening(event)) {
        return;
    }
    // Checked once the window is mapped, so the user sees it while the server answers.
    QTimer::singleShot(0, this, [this] {
        if (isVisible()) {
            FormShow();
        }
    });
}

void TUpgradeForm::done(int result) {
    NewUpdateReady = false;
    QDialog::done(result);
}

void TUpgradeForm::FormShow() {
    CheckForUpdate();
}

void TUpgradeForm::ShowDownloadError() {
    InformationLabel_1->setText(QStringLiteral("Download error."));
    InformationLabel_2->setText(QStringLiteral("Please try again later."));
}

void TUpgradeForm::CheckForUpdate() {
    CurrentVersion = QLatin1String(kCurrentVersionCode);
    TVersionInfo info;
    try {
        const QString current = CurrentVersion;
        info = RunBlocking([current] { return FetchVersionInfo(current); });
    } catch (const std::exception &) {
        // No message box: the two labels are the whole report, and the rest keeps its state.
        ShowDownloadError();
        return;
    }
    VersionLabel->setText(info.VersionText);
    InformationLabel_1->setText(info.Information1);
    InformationLabel_2->setText(info.Information2);
    if (info.UpdateAvailable) {
        OKLabel->setVisible(true);
        OKButton->setVisible(true);
        CancelLabel->setVisible(true);
        CancelButton->setVisible(true);
        installerSha256_ = info.Sha256;
        NewUpdateReady = true;
    } else {
        OKLabel->setVisible(false);
        OKButton->setVisible(false);
        installerSha256_.clear();
        NewUpdateReady = false;
    }
}

bool TUpgradeForm::DownloadUpdate() {
    const QString folder = DownloadFolder();
    if (!QDir(folder).exists()) {
        CreateNewFolder(folder);
    }
    const QString target = DownloadedInstallerPath();
    const QByteArray sha256 = installerSha256_;
    try {
        RunBlocking([target, sha256] { DownloadInstaller(InstallerUrl(), target, sha256); });
    } catch (const std::exception &) {
        ShowDownloadError();
        return false;
    }
    OpenInDesktop(QUrl::fromLocalFile(target));
    return true;
}

void TUpgradeForm::OKButtonClick() {
    // A failed download keeps the window open: closing at once would hide the error texts and
    // look like a started update.
    if (NewUpdateReady && !DownloadUpdate()) {
        return;
    }
    done(mrOk);
}

void TUpgradeForm::CancelButtonClick() {
    done(mrCancel);
}

void TUpgradeForm::FormMouseDown(Qt::MouseButton button) {
    ::FormMouseDown(this, button);
}

void TUpgradeForm::reject() {
    done(mrCancel);
}
