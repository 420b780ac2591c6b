#include "common/TX_Net.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <memory>

namespace {
struct AddrInfoDeleter {
    void operator()(addrinfo *info) const { freeaddrinfo(info); }
};
}  // namespace

QString AddressToResolve(const QString &typed) {
    const QString text = typed.trimmed();
    if (!text.contains(QLatin1Char(':')) || text.contains(QChar(0)) ||
        text.size() > INET6_ADDRSTRLEN) {
        return text;
    }
    in6_addr address{};
    if (inet_pton(AF_INET6, text.toLatin1().constData(), &address) != 1 ||
        !IN6_IS_ADDR_V4MAPPED(&address)) {
        return text;
    }
    char dotted[INET_ADDRSTRLEN] = {0};
    if (inet_ntop(AF_INET, &address.s6_addr[12], dotted, sizeof dotted) == nullptr) {
        return text;
    }
    return QString::fromLatin1(dotted);
}

QString GetIP(const QString &typed) {
    const QString unresolved = QStringLiteral("0.0.0.0");
    const QString Host = AddressToResolve(typed);
    // A NUL inside the text would cut the name short and resolve something else.
    if (Host.isEmpty() || Host.contains(QChar(0))) {
        return unresolved;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    // One socket type only; otherwise every address comes back once per type.
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *raw = nullptr;
    if (getaddrinfo(Host.toLocal8Bit().constData(), nullptr, &hints, &raw) != 0 || raw == nullptr) {
        return unresolved;
    }
    std::unique_ptr<addrinfo, AddrInfoDeleter> answer(raw);
    QString result = unresolved;
    for (const addrinfo *entry = answer.get(); entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET || entry->ai_addr == nullptr) {
            continue;
        }
        const auto *address = reinterpret_cast<const sockaddr_in *>(entry->ai_addr);
        char text[INET_ADDRSTRLEN] = {0};
        if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr) {
            result = QString::fromLatin1(text);
        }
    }
    return result;
}
