#include "ping/EchoService.h"

#include <QStringView>
#include <optional>

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

namespace {

// Moves `at` past `word` when the text continues with it (letters in any case).
bool Take(const QString &text, qsizetype &at, QLatin1String word) {
    if (text.size() - at < word.size() ||
        QStringView(text).mid(at, word.size()).compare(word, Qt::CaseInsensitive) != 0) {
        return false;
    }
    at += word.size();
    return true;
}

// Reads a decimal number of one to five digits that fits 16 bits.
std::optional<quint16> TakeNumber(const QString &text, qsizetype &at) {
    quint32 value = 0;
    int digits = 0;
    while (at < text.size() && text.at(at).isDigit() && text.at(at).unicode() < 128 && digits < 5) {
        value = value * 10 + static_cast<quint32>(text.at(at).unicode() - '0');
        ++digits;
        ++at;
    }
    if (digits == 0 || value > 0xFFFF) {
        return std::nullopt;
    }
    return static_cast<quint16>(value);
}

// Reads a quoted address whose inner quotes are doubled; `at` stands on the opening quote.
std::optional<QString> TakeQuoted(const QString &text, qsizetype &at) {
    if (at >= text.size() || text.at(at) != QLatin1Char('\'')) {
        return std::nullopt;
    }
    QString value;
    for (++at; at < text.size(); ++at) {
        if (text.at(at) != QLatin1Char('\'')) {
            value += text.at(at);
        } else if (at + 1 < text.size() && text.at(at + 1) == QLatin1Char('\'')) {
            value += QLatin1Char('\'');
            ++at;
        } else {
            ++at;  // the closing quote
            return value;
        }
    }
    return std::nullopt;
}

}  // namespace

TEchoQuery ParseEchoQuery(const QString &query) {
    qsizetype at = 0;
    TEchoQuery parsed;
    std::optional<QString> address;
    std::optional<quint16> size;
    std::optional<quint16> time;
    const bool valid =
        Take(query, at, QLatin1String("SELECT * FROM Win32_PingStatus where Address=")) &&
        (address = TakeQuoted(query, at)) && Take(query, at, QLatin1String(" AND BufferSize=")) &&
        (size = TakeNumber(query, at)) && Take(query, at, QLatin1String(" AND TimeOut=")) &&
        (time = TakeNumber(query, at)) && at == query.size();
    if (!valid) {
        throw TxError(QStringLiteral("Invalid query: %1").arg(query));
    }
    parsed.Address = *address;
    parsed.BufferSize = *size;
    parsed.TimeOut = *time;
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
