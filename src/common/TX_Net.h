#pragma once

#include <QString>

// The longest address text the program takes, typed or read from a list. A host name has at
// most 253 characters, but the address field also takes URLs as people paste them from a
// browser, and those may be longer; 2,048 is the length up to which URLs are expected to work
// everywhere (the sitemaps protocol's limit, and the oldest browsers' address bars), so a pasted
// URL is kept whole, host and all, while a text of many kilobytes pasted by mistake is cut short
// instead of filling the header lines.
inline constexpr int kAddressMaxLength = 2048;

// The text an address as typed or listed is resolved as: without the blanks around it (pasted
// and listed addresses often carry some), and an IPv4-mapped IPv6 address ("::ffff:192.0.2.1")
// as its IPv4 address, since a request to it can only go over IPv4. Every resolver of the
// program takes its text from here; the address is otherwise shown as it was typed.
QString AddressToResolve(const QString &typed);

// Resolves `Host` to one IPv4 address with the system resolver (IPv4 answers only) and returns
// it in dotted-decimal form. When the resolver gives several addresses, the last one of its
// answer is returned. The text is taken as AddressToResolve gives it; a scheme, path or port
// makes it a name that does not resolve. Anything that does not resolve (unknown name, no network,
// empty text) gives "0.0.0.0"; GetIP raises no error. Blocks for as long as the resolver takes:
// callers on the user-interface thread run it through RunBlocking.
QString GetIP(const QString &Host);
