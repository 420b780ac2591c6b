#pragma once

#include <QColor>
#include <QMainWindow>
#include <QStringList>

class QLineEdit;
class QTextEdit;

// The main window: address field, charts, results and address panes, and every command of the
// program as an action of PingActionList.
class TMainMenuForm final : public QMainWindow {
    Q_OBJECT

public:
    explicit TMainMenuForm(QWidget *parent = nullptr);

    // Ping commands and engine settings.
    void SinglePingActionExecute();
    void PingListOfAddressesActionExecute();
    void InitPingActionExecute();
    void ChangeSystemSettings();
    void SystemSettingsActionExecute();
    void ClearAllActionExecute();
    void ClearMemoActionExecute();

    // Address information (WHOIS) and geolocation map.
    void GetAddressInformationActionExecute();
    void AddressGeolocationActionExecute();

    // Address lists, result files and pane texts.
    void LoadAddressListActionExecute();
    void SaveResultsActionExecute();
    void LoadTextActionExecute();
    void SaveTextActionExecute();

    // Report.
    void CreateReportActionExecute();

    // Other windows.
    void OnLineHelpActionExecute();
    void ContsctUsActionExecute();
    void CheckForUpdatesActionExecute();
    void AboutTarvexActionExecute();

    // Panes and fields that the commands share.
    QLineEdit *AddressEdit = nullptr;
    QTextEdit *DebugMemo = nullptr;
    QTextEdit *AddressMemo = nullptr;
    QTextEdit *TempMemo = nullptr;
    QTextEdit *DBRichEdit = nullptr;

    // The addresses of the list run; filled by loading an address list.
    QStringList AddressList;

    // Engine parameters, filled by ChangeSystemSettings.
    QString PingAddress;
    int PingTimeOut = 0;
    int PingBufferSize = 0;
    int PingRetries = 0;
    QColor ResultsColor;
    QColor DebugColor;
    QColor InfoColor;

protected:
    void showEvent(QShowEvent *event) override;

private:
    // First showing of the window: completes the data folders, loads the settings, prepares an
    // empty window.
    void FormShow();

    bool shown_ = false;
};

extern TMainMenuForm *MainMenuForm;
