#pragma once

#include <QDialog>
#include <QString>

class TGeolocationForm final : public QDialog {
    Q_OBJECT

public:
    explicit TGeolocationForm(QWidget *parent = nullptr);

    // Shows the window modally; returns its modal result.
    int Execute();

    // Set by a finished ping run, cleared at start-up: tells the window that there are pinged
    // addresses to locate.
    bool StartGeolocation = false;

    // Key of the web-map service; loaded and saved with the settings file.
    QString GoogleKey;
};

extern TGeolocationForm *GeolocationForm;
