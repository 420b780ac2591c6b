#include <gtest/gtest.h>

#include "common/TX_Net.h"

namespace {

TEST(GetIP, ResolvesToOneDottedAddressOrZero) {
    const struct {
        QString host;
        const char *ip;
    } cases[] = {
        {QStringLiteral("localhost"), "127.0.0.1"},
        {QStringLiteral("127.0.0.1"), "127.0.0.1"},
        // The text is taken as it is: a scheme or a path make it a name that does not resolve.
        {QStringLiteral("https://localhost"), "0.0.0.0"},
        {QStringLiteral("localhost/index.html"), "0.0.0.0"},
        {QStringLiteral("nothing.invalid"), "0.0.0.0"},
        {QString(), "0.0.0.0"},
        {QString::fromUtf8("local\0host", 10), "0.0.0.0"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(GetIP(c.host), QLatin1String(c.ip)) << c.host.toStdString();
    }
}

}  // namespace
