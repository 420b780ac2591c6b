#pragma once

#include <QByteArray>
#include <QDialog>

class QLabel;
class QMessageBox;
class QToolButton;
class QWidget;

// The update window: every opening asks the download server for the newest version and, when it
// is newer than the running one, offers its Debian package (or its release page).
class TUpgradeForm final : public QDialog {
    Q_OBJECT

  public:
    explicit TUpgradeForm(QWidget *parent = nullptr);

    // Sets the default cursor, shows the window modally and clears NewUpdateReady when it
    // closes; returns true when it was closed with OK.
    bool Execute();

    // Runs the check once the window is on the screen.
    void FormShow();
    // Fetches the version file and shows what it says; a failed fetch shows "Download error."
    // and "Please try again later." and leaves everything else as it was.
    void CheckForUpdate();
    // Downloads the new version's Debian package into the user's downloads folder and says where
    // it is and how to install it; opens the release page instead when the version file names
    // no package. Returns false (and shows the error texts) when the download failed.
    bool DownloadUpdate();
    // Update: fetch the package (or open the release page) when a newer version was found, then
    // close with OK. A failed download keeps the window open with its error texts.
    void OKButtonClick();
    // Cancel: close with Cancel.
    void CancelButtonClick();
    // Escape and the frame's close button close with Cancel.
    void reject() override;
    // Window drag by the window, the picture, the three texts or the button bar.
    void FormMouseDown(Qt::MouseButton button);

    bool NewUpdateReady = false;
    QString CurrentVersion;

    QLabel *Image1 = nullptr;
    QLabel *VersionLabel = nullptr;
    QLabel *InformationLabel_1 = nullptr;
    QLabel *InformationLabel_2 = nullptr;
    // Under the two texts of a failed check or download: why it failed, in the error's own words
    // (a refused connection, a version file over its limit, a full disk); empty otherwise.
    QLabel *ReasonLabel = nullptr;
    QWidget *RzPanel5 = nullptr;
    QLabel *CancelLabel = nullptr;
    QToolButton *CancelButton = nullptr;
    QLabel *OKLabel = nullptr;
    QToolButton *OKButton = nullptr;
    // Says where the downloaded package is and how to install it (while it is shown).
    QMessageBox *InstallHintBox = nullptr;

    // Every way of closing clears NewUpdateReady.
    void done(int result) override;

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    void ShowDownloadError(const std::exception &error);
    void ShowInstallHint(const QString &packagePath);

    QByteArray packageSha256_;
    QString package_;
};

extern TUpgradeForm *UpgradeForm;
