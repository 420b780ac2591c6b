#include "update/UpdateUnit.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include "common/BlockingCall.h"
#include "common/BoxParts.h"
#include "common/DesktopOpen.h"
#include "common/Errors.h"
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
    ReasonLabel = NewPictureLabel(this, QStringLiteral("ReasonLabel"), QString(), 11,
                                  LookMediumGreyText(), 384, 136);
    ReasonLabel->setWordWrap(true);
    ReasonLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    ReasonLabel->setGeometry(384 - 236, 136, 236, 60);

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
        this,
        {this, Image1, VersionLabel, InformationLabel_1, InformationLabel_2, ReasonLabel, RzPanel5},
        {});
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

void TUpgradeForm::ShowDownloadError(const std::exception &error) {
    InformationLabel_1->setText(QStringLiteral("Download error."));
    InformationLabel_2->setText(QStringLiteral("Please try again later."));
    ReasonLabel->setText(ErrorText(error));
}

void TUpgradeForm::CheckForUpdate() {
    CurrentVersion = QLatin1String(kCurrentVersionCode);
    TVersionInfo info;
    try {
        const QString current = CurrentVersion;
        info = RunBlocking([current] { return FetchVersionInfo(current); });
    } catch (const std::exception &error) {
        // No message box: the labels are the whole report, and the rest keeps its state.
        ShowDownloadError(error);
        return;
    }
    ReasonLabel->clear();
    VersionLabel->setText(info.VersionText);
    InformationLabel_1->setText(info.Information1);
    InformationLabel_2->setText(info.Information2);
    if (info.UpdateAvailable) {
        OKLabel->setVisible(true);
        OKButton->setVisible(true);
        CancelLabel->setVisible(true);
        CancelButton->setVisible(true);
        packageSha256_ = info.Sha256;
        package_ = info.Package;
        NewUpdateReady = true;
    } else {
        OKLabel->setVisible(false);
        OKButton->setVisible(false);
        packageSha256_.clear();
        package_.clear();
        NewUpdateReady = false;
    }
}

bool TUpgradeForm::DownloadUpdate() {
    if (package_.isEmpty()) {
        // No package named: the release page tells how to get the new version.
        OpenInDesktop(QUrl(ReleasePageUrl()));
        return true;
    }
    const QString folder = PackageDownloadFolder();
    const QString target = folder + QLatin1Char('/') + PackageFileName(package_);
    const QString url = PackageUrl(package_);
    const QByteArray sha256 = packageSha256_;
    try {
        if (!QDir().mkpath(folder)) {
            throw TxError(QStringLiteral("Cannot create the folder \"%1\".").arg(folder));
        }
        RunBlocking([url, target, sha256] { DownloadPackage(url, target, sha256); });
    } catch (const std::exception &error) {
        ShowDownloadError(error);
        return false;
    }
    ShowInstallHint(target);
    return true;
}

void TUpgradeForm::ShowInstallHint(const QString &packagePath) {
    const QString version = VersionLabel->text().trimmed();
    QMessageBox box(QMessageBox::Information, QStringLiteral("Tarvex update"),
                    QStringLiteral("The Debian package of %1 is saved as\n%2\n\n"
                                   "To install it, run in a terminal:\n%3")
                        .arg(version.isEmpty() ? QStringLiteral("the new version") : version,
                             packagePath, PackageInstallCommand(packagePath)),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("InstallHintBox"));
    // The user copies the command from here.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QPushButton *openFolder = box.addButton(QStringLiteral("Open folder"), QMessageBox::ActionRole);
    openFolder->setObjectName(QStringLiteral("OpenFolderButton"));
    InstallHintBox = &box;
    box.exec();
    InstallHintBox = nullptr;
    if (box.clickedButton() == openFolder) {
        OpenInDesktop(QUrl::fromLocalFile(QFileInfo(packagePath).absolutePath()));
    }
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
