#pragma once

#include <QUrl>

// Address of the on-line help's start page: the help server's base address ([SERVICES]
// "Help URL", else the maker's web server) followed by "/Haldrin/Tarvex/Help/ENU/index.html".
QUrl HelpStartPageUrl();
