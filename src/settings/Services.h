#pragma once

#include <QHash>
#include <QString>

// Addresses of the services the program talks to (WHOIS server, geolocation service, download
// server, help pages, map script, public map page, mail server and mailboxes). Each user of a
// service has a built-in default; the optional section [SERVICES] of the settings file overrides
// it. The section is read with the settings and never written.
//
// Keys: "Whois Server", "Geolocation URL", "Download URL", "Help URL", "Maps Script URL",
// "Public Map URL", "Mail Server", "Mail From", "Mail To", "Mail Password".

// Returns the value of `key` from [SERVICES] (names compared without regard to letter case), or
// defaultValue when the key is absent or empty.
QString ServiceSetting(const QString &key, const QString &defaultValue);

// Replaces the whole set of overrides (the settings load calls this; tests use it too).
void SetServiceSettings(const QHash<QString, QString> &values);

// Splits "host" or "host:port" into its parts, with defaultPort when no port is given.
void SplitHostPort(const QString &text, quint16 defaultPort, QString *host, quint16 *port);
