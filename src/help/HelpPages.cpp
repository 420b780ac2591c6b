#include "help/HelpPages.h"

#include "settings/Services.h"

QUrl HelpStartPageUrl() {
    QString base =
        ServiceSetting(QStringLiteral("Help URL"), QStringLiteral("http://www.haldrin.com"));
    while (base.endsWith(QLatin1Char('/'))) {
        base.chop(1);
    }
    return QUrl(base + QStringLiteral("/Haldrin/Tarvex/Help/ENU/index.html"));
}
