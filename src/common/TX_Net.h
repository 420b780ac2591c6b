#pragma once

#include <QString>

// Resolves `Host` to one IPv4 address with the system resolver (IPv4 answers only) and returns
// it in dotted-decimal form. When the resolver gives several addresses, the last one of its
// answer is returned. The text is used exactly as given: a scheme, path or port makes it a name
// that does not resolve. Anything that does not resolve (unknown name, no network, empty text)
// gives "0.0.0.0"; GetIP raises no error. Blocks for as long as the resolver takes: callers on
// the user-interface thread run it through RunBlocking.
QString GetIP(const QString &Host);
