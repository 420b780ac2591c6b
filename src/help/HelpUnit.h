#pragma once

#include <QDialog>

#include "common/BrowserWindows.h"

class QLabel;
class QToolButton;
class QWebEngineView;
class QWidget;

// The on-line help: a small browser that opens the help's start page on every showing. The web
// view is made when the window is first shown, so that start-up does not pay for the engine.
// The window lives in the browser module; the program reaches it through THelpStandIn.
class THelpForm final : public QDialog, public THelpWindow {
    Q_OBJECT

  public:
    explicit THelpForm(QWidget *parent = nullptr);

    QDialog *Dialog() override { return this; }

    // Shows the window modally; returns true for OK, which the window never sets.
    bool Execute() override;

    // Makes the web view when needed and navigates to the start page.
    void FormShow();
    // Stops a page that is still loading.
    void UpdateControls();
    // Back: stop loading, then one page back (nothing when there is none).
    void RzBmpButton2Click();
    // Forward: stop loading, then one page forward (nothing when there is none).
    void RzBmpButton1Click();
    // Refresh: reload the current page.
    void RzBmpButton3Click();
    // Stop: stop a page that is still loading.
    void StopPingBtnClick();
    // Escape and the frame's close button close with Cancel.
    void reject() override;

    // True while the web view is loading a page.
    bool Busy() const { return busy_; }

    QWidget *AddressPanel = nullptr;
    QToolButton *RzBmpButton2 = nullptr;
    QToolButton *RzBmpButton1 = nullptr;
    QLabel *Label1 = nullptr;
    QToolButton *RzBmpButton3 = nullptr;
    QLabel *Label12 = nullptr;
    QToolButton *StopPingBtn = nullptr;
    QWebEngineView *WB = nullptr;
    QWidget *StatusPanel = nullptr;
    QLabel *Label2 = nullptr;

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    void CreateBrowser();

    QWidget *browserPlace_ = nullptr;
    bool busy_ = false;
};
