// The IPv6 forms of a typed address: a literal (with or without a zone), the bracketed host of a
// URL, and the text an address is written in. Any typed text is recognised or refused without a
// resolver; what is recognised stands for one address, which the echo target takes; and any
// address, written and read again, is the same address in the same text.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <cstring>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "FuzzSupport.h"
#include "ping/EchoFamily.h"

namespace {

// The 16 bytes a literal stands for, its zone aside (the system's own reading); empty when the
// system does not read it as an IPv6 address.
QByteArray LiteralBytes(const QString &literal) {
    const QByteArray address = literal.section(QLatin1Char('%'), 0, 0).toUtf8();
    in6_addr bytes{};
    if (address.contains('\0') || inet_pton(AF_INET6, address.constData(), &bytes) != 1) {
        return QByteArray();
    }
    return QByteArray(reinterpret_cast<const char *>(&bytes), 16);
}

// A literal the program recognised goes to the address it stands for, over IPv6; an
// IPv4-mapped one without a zone ("::ffff:192.0.2.1") to its IPv4 address, over IPv4.
void CheckTarget(const QString &literal) {
    const QByteArray raw = LiteralBytes(literal);
    FUZZ_CHECK(raw.size() == 16, "a recognised literal is an IPv6 address");
    const std::optional<TEchoTarget> target = ResolveEchoTarget(literal);
    // A zone that names no interface of this machine resolves to nothing; that is refused.
    if (!target) {
        return;
    }
    in6_addr bytes{};
    std::memcpy(&bytes, raw.constData(), sizeof bytes);
    if (IN6_IS_ADDR_V4MAPPED(&bytes) && !literal.contains(QLatin1Char('%'))) {
        FUZZ_CHECK(target->Family == &kEchoIPv4, "a mapped literal goes over IPv4");
        FUZZ_CHECK(target->Raw == raw.right(4), "a mapped literal goes to its IPv4 address");
        return;
    }
    FUZZ_CHECK(target->Family == &kEchoIPv6, "a literal goes over IPv6");
    FUZZ_CHECK(target->Raw == raw, "a literal goes to the address it stands for");
}

// The written form of 16 address bytes (RFC 5952).
void CheckWritten(const QByteArray &raw) {
    const QString text = Ipv6AddressText(raw);
    FUZZ_CHECK(!text.isEmpty() && text.size() < INET6_ADDRSTRLEN, "an address is written");
    FUZZ_CHECK(LiteralBytes(text) == raw, "the written address reads back to the same bytes");
    FUZZ_CHECK(IsIpv6Literal(text), "the written address is recognised");
    FUZZ_CHECK(Ipv6AddressText(LiteralBytes(text)) == text, "writing is stable");
    FUZZ_CHECK(text == text.toLower(), "hexadecimal digits are lower case");
    FUZZ_CHECK(text.count(QLatin1String("::")) <= 1 && !text.contains(QLatin1String(":::")),
               "one \"::\" at most");
    const QStringList groups = text.split(QLatin1Char(':'));
    int written = 0;
    for (const QString &group : groups) {
        if (group.contains(QLatin1Char('.'))) {
            written += 2;
        } else if (!group.isEmpty()) {
            FUZZ_CHECK(group.size() <= 4 &&
                           (group == QLatin1String("0") || !group.startsWith(QLatin1Char('0'))),
                       "no leading zeros");
            ++written;
        }
    }
    // "::" stands for the longest run of zero groups, the first of equally long ones, and only
    // for a run of two or more.
    int longest = 0;
    int longestStart = -1;
    for (int i = 0; i < 8;) {
        int j = i;
        while (j < 8 && raw.at(2 * j) == 0 && raw.at(2 * j + 1) == 0) {
            ++j;
        }
        if (j - i > longest) {
            longest = j - i;
            longestStart = i;
        }
        i = j == i ? i + 1 : j;
    }
    if (longest >= 2) {
        FUZZ_CHECK(text.contains(QLatin1String("::")), "a run of zero groups is left out");
        FUZZ_CHECK(8 - written == longest, "\"::\" stands for the longest run");
        const QString before = text.section(QLatin1String("::"), 0, 0);
        const int groupsBefore =
            before.isEmpty() ? 0 : static_cast<int>(before.split(QLatin1Char(':')).size());
        FUZZ_CHECK(groupsBefore == longestStart, "\"::\" stands for the first longest run");
    } else {
        FUZZ_CHECK(!text.contains(QLatin1String("::")) && written == 8,
                   "a single zero group is written");
    }
    // As the bracketed host of a URL, with and without scheme, port and path.
    for (const QString &url :
         {QLatin1Char('[') + text + QLatin1Char(']'),
          QStringLiteral("http://[") + text + QStringLiteral("]:8080/path?query#part")}) {
        FUZZ_CHECK(BracketedIpv6Literal(url) == text, "the bracketed host is found");
    }
    CheckTarget(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The bytes as address bytes.
    if (size >= 16) {
        CheckWritten(QByteArray(reinterpret_cast<const char *>(data), 16));
    }

    // The bytes as typed text.
    const QString typed =
        QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    if (IsIpv6Literal(typed)) {
        CheckTarget(typed);
        CheckWritten(LiteralBytes(typed));
    }
    const QString bracketed = BracketedIpv6Literal(typed);
    if (!bracketed.isEmpty()) {
        FUZZ_CHECK(IsIpv6Literal(bracketed), "a bracketed host is a literal");
        CheckTarget(bracketed);
        // Checked against the bracketed host on its own, which CheckTarget has just checked.
        const std::optional<TEchoTarget> target = ResolveEchoTarget(typed);
        const std::optional<TEchoTarget> host = ResolveEchoTarget(bracketed);
        if (target && host) {
            FUZZ_CHECK(target->Family == host->Family && target->Raw == host->Raw,
                       "a URL goes to the address of its bracketed host");
        }
    }
    return 0;
}
