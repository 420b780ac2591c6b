#pragma once

#include <QObject>
#include <QStringList>

// The shared data module: WHOIS client and zone table, HTTP client, geolocation result fields.
class TPingDataModule final : public QObject {
    Q_OBJECT

public:
    explicit TPingDataModule(QObject *parent = nullptr);

    // Fills WhoIsServerList from the zone table held in the main window's TempMemo.
    void CreateWhoIsServerList();

    QStringList WhoIsServerList;
};

extern TPingDataModule *PingDataModule;
