#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>

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
        // Blanks around a pasted or listed address are not part of it.
        {QStringLiteral(" 127.0.0.1 "), "127.0.0.1"},
        {QStringLiteral("\tlocalhost\r\n"), "127.0.0.1"},
        {QStringLiteral("   "), "0.0.0.0"},
        // An IPv4-mapped IPv6 address is the IPv4 address it maps.
        {QStringLiteral("::ffff:127.0.0.1"), "127.0.0.1"},
        {QStringLiteral("::FFFF:7f00:2"), "127.0.0.2"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(GetIP(c.host), QLatin1String(c.ip)) << c.host.toStdString();
    }
}

TEST(AddressToResolve, DropsBlanksAndUnmapsIpv4) {
    const struct {
        QString typed;
        QString resolved;
    } cases[] = {
        {QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.1")},
        {QStringLiteral("  example.org\t"), QStringLiteral("example.org")},
        {QStringLiteral(" ::ffff:192.0.2.1 "), QStringLiteral("192.0.2.1")},
        {QStringLiteral("::ffff:c000:201"), QStringLiteral("192.0.2.1")},
        // Other IPv6 addresses, the IPv4-compatible form and texts that only look alike stay.
        {QStringLiteral("::1"), QStringLiteral("::1")},
        {QStringLiteral("::127.0.0.1"), QStringLiteral("::127.0.0.1")},
        {QStringLiteral("64:ff9b::192.0.2.1"), QStringLiteral("64:ff9b::192.0.2.1")},
        {QStringLiteral("::ffff:192.0.2.1%eth0"), QStringLiteral("::ffff:192.0.2.1%eth0")},
        {QStringLiteral("[::ffff:192.0.2.1]"), QStringLiteral("[::ffff:192.0.2.1]")},
        {QString::fromUtf8("::ffff:1.2.3.4\0x", 16), QString::fromUtf8("::ffff:1.2.3.4\0x", 16)},
        {QStringLiteral("http://host:8080/ a"), QStringLiteral("http://host:8080/ a")},
        {QString(), QString()},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(AddressToResolve(c.typed), c.resolved) << c.typed.toStdString();
    }
}

// Resolves `host` in a child process that sees `hostsFile` as /etc/hosts (a private mount
// namespace, so nothing outside the child changes). Returns false when the namespace cannot be
// made here.
bool ResolveWithHostsFile(const QString &hostsFile, const QString &host, QByteArray *ip) {
    int fds[2];
    if (::pipe(fds) != 0) {
        return false;
    }
    const QByteArray source = QFile::encodeName(hostsFile);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount(source.constData(), "/etc/hosts", nullptr, MS_BIND, nullptr) != 0) {
            ::_exit(2);
        }
        const QByteArray answer = GetIP(host).toLatin1();
        const bool written = ::write(fds[1], answer.constData(), answer.size()) == answer.size();
        ::_exit(written ? 0 : 1);
    }
    ::close(fds[1]);
    char buffer[64];
    ssize_t n = 0;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) {
        ip->append(buffer, n);
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return pid > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(GetIP, NameWithSeveralAddressesGivesTheLastOfTheAnswer) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString hosts = dir.filePath(QStringLiteral("hosts"));
    QFile file(hosts);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "127.0.0.1 localhost\n"
        "127.0.0.2 several.test\n127.0.0.3 several.test\n"
        "127.0.0.5 reverse.test\n127.0.0.4 reverse.test\n");
    file.close();
    const struct {
        const char *host;
        const char *ip;
    } cases[] = {{"several.test", "127.0.0.3"}, {"reverse.test", "127.0.0.4"}};
    for (const auto &c : cases) {
        QByteArray ip;
        if (!ResolveWithHostsFile(hosts, QString::fromLatin1(c.host), &ip)) {
            GTEST_SKIP() << "no private mount namespace here";
        }
        EXPECT_EQ(ip.toStdString(), c.ip) << c.host;
    }
}

}  // namespace
