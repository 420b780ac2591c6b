#include "ping/EchoService.h"

#include <QRegularExpression>

#include "common/Errors.h"

QString EchoQueryText(const QString &PingAddress, quint16 PingBufferSize, quint16 PingTimeOut) {
    QString quoted = PingAddress;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    quoted = QLatin1Char('\'') + quoted + QLatin1Char('\'');
    return QStringLiteral(
               "SELECT * FROM Win32_PingStatus where Address=%1 AND BufferSize=%2 "
               "AND TimeOut=%3")
        .arg(quoted, QString::number(PingBufferSize), QString::number(PingTimeOut));
}

TEchoQuery ParseEchoQuery(const QString &query) {
    static const QRegularExpression pattern(
        QStringLiteral("^SELECT \\* FROM Win32_PingStatus where Address='((?:[^']|'')*)' "
                       "AND BufferSize=(\\d{1,5}) AND TimeOut=(\\d{1,5})$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = pattern.match(query);
    bool sizeOk = false;
    bool timeOk = false;
    const uint size = match.hasMatch() ? match.captured(2).toUInt(&sizeOk) : 0;
    const uint time = match.hasMatch() ? match.captured(3).toUInt(&timeOk) : 0;
    if (!sizeOk || !timeOk || size > 0xFFFF || time > 0xFFFF) {
        throw TxError(QStringLiteral("Invalid query: %1").arg(query));
    }
    TEchoQuery parsed;
    parsed.Address = match.captured(1).replace(QStringLiteral("''"), QStringLiteral("'"));
    parsed.BufferSize = static_cast<quint16>(size);
    parsed.TimeOut = static_cast<quint16>(time);
    return parsed;
}

namespace {

TEchoServiceFactory &Factory() {
    static TEchoServiceFactory factory;
    return factory;
}

}  // namespace

void SetEchoServiceFactory(TEchoServiceFactory factory) {
    Factory() = std::move(factory);
}

std::unique_ptr<TEchoService> ConnectEchoService() {
    if (Factory()) {
        return Factory()();
    }
    return std::make_unique<TIcmpEchoService>();
}
