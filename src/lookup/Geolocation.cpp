#include "lookup/Geolocation.h"

#include <QHash>
#include <QXmlStreamReader>
#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>
#include <vector>

#include "common/BlockingCall.h"
#include "common/Errors.h"
#include "common/HttpClient.h"
#include "settings/Services.h"

QString GeolocationServiceUrl() {
    return ServiceSetting(QStringLiteral("Geolocation URL"),
                          QStringLiteral("http://freegeoip.live"));
}

QString GeolocationRequestUrl(const QString &ipAddress) {
    QString base = GeolocationServiceUrl();
    while (base.endsWith(QLatin1Char('/'))) {
        base.chop(1);
    }
    return base + QStringLiteral("/xml/") + ipAddress;
}

namespace {

[[noreturn]] void RaiseParseError(const QString &message, const QXmlStreamReader &xml) {
    throw TxError(QStringLiteral("%1 (line %2, column %3)")
                      .arg(message)
                      .arg(xml.lineNumber())
                      .arg(xml.columnNumber()),
                  QStringLiteral("EDOMParseError"));
}

}  // namespace

TGeolocationInfo ParseGeolocationReply(const QByteArray &reply) {
    TGeolocationInfo info;
    QHash<QString, QString *> fields{
        {QStringLiteral("CountryCode"), &info.CountryCode},
        {QStringLiteral("CountryName"), &info.CountryName},
        {QStringLiteral("RegionCode"), &info.RegionCode},
        {QStringLiteral("RegionName"), &info.RegionName},
        {QStringLiteral("City"), &info.City},
        {QStringLiteral("ZipCode"), &info.ZipCode},
        {QStringLiteral("Latitude"), &info.Latitude},
        {QStringLiteral("Longitude"), &info.Longitude},
    };
    // One flat pass over the tokens with a depth counter. Reading a field with
    // readElementText(IncludeChildElements) would recurse once per nested level, and a reply of a
    // few hundred kilobytes nesting tens of thousands of elements inside a field overflows the
    // stack. A field holds text only, so any element inside one makes the reply invalid.
    QXmlStreamReader xml(reply);
    bool sawRoot = false;
    int depth = 0;
    QString fieldName;  // the field being read, when inside one
    QString fieldText;
    // The whole document is read before any field counts: a reply that breaks off half-way is
    // malformed, and its first elements must not pass for a place.
    QHash<QString, QString> read;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
            case QXmlStreamReader::StartElement:
                if (!fieldName.isEmpty()) {
                    RaiseParseError(QStringLiteral("Invalid reply: the element \"%1\" holds the "
                                                   "element \"%2\"")
                                        .arg(fieldName, xml.name().toString()),
                                    xml);
                }
                if (depth == 0) {
                    sawRoot = true;
                } else if (depth == 1 && fields.contains(xml.name().toString())) {
                    fieldName = xml.name().toString();
                    fieldText.clear();
                }
                ++depth;
                break;
            case QXmlStreamReader::EndElement:
                --depth;
                if (!fieldName.isEmpty()) {
                    // The first element of a name counts; later ones are ignored.
                    if (!read.contains(fieldName)) {
                        read.insert(fieldName, fieldText);
                    }
                    fieldName.clear();
                }
                break;
            case QXmlStreamReader::Characters:
            case QXmlStreamReader::EntityReference:
                if (!fieldName.isEmpty()) {
                    fieldText += xml.text();
                }
                break;
            default:
                break;
        }
    }
    if (xml.hasError()) {
        RaiseParseError(xml.errorString(), xml);
    }
    if (!sawRoot) {
        throw TxError(QStringLiteral("The reply holds no XML document."),
                      QStringLiteral("EDOMParseError"));
    }
    for (auto field = read.cbegin(); field != read.cend(); ++field) {
        *fields.value(field.key()) = field.value();
    }
    return info;
}

QString GeolocationErrorText(const QString &className, const QString &message) {
    return QStringLiteral("Error ") + className + QStringLiteral(" [ ") + message +
           QStringLiteral(" ]");
}

TGeolocationInfo LookUpGeolocation(const QString &ipAddress, const TExchangeLimits &limits,
                                   const TCancelSignal *cancel) {
    return ParseGeolocationReply(HttpGet(GeolocationRequestUrl(ipAddress), limits, cancel));
}

QHash<QString, TGeolocationResult> LookUpGeolocations(const QStringList &ipAddresses, int parallel,
                                                      const TExchangeLimits &limits,
                                                      const TLookupProgress &progress,
                                                      const TCancelSignal *cancel) {
    QStringList distinct;
    QHash<QString, TGeolocationResult> results;
    for (const QString &address : ipAddresses) {
        if (!results.contains(address)) {
            results.insert(address, {});
            distinct << address;
        }
    }
    // Each worker takes the next address until none is left; each writes only its own slots.
    std::vector<TGeolocationResult> answers(static_cast<size_t>(distinct.size()));
    std::atomic<int> next{0};
    std::atomic<int> done{0};
    const int total = static_cast<int>(distinct.size());
    const auto work = [&] {
        for (int index = next++; index < total; index = next++) {
            TGeolocationResult &answer = answers[static_cast<size_t>(index)];
            try {
                if (cancel != nullptr) {
                    cancel->RaiseIfCancelled();
                }
                answer.Info = LookUpGeolocation(distinct.at(index), limits, cancel);
            } catch (const TxError &error) {
                answer.Info = {};
                answer.Error = GeolocationErrorText(error.ClassName(), error.Message());
            } catch (const std::exception &error) {
                answer.Info = {};
                answer.Error = GeolocationErrorText(QStringLiteral("Exception"), ErrorText(error));
            } catch (...) {
                // A worker thread must not end the program; the address just has no place.
                answer.Info = {};
                answer.Error = GeolocationErrorText(QStringLiteral("Exception"),
                                                    QStringLiteral("Unknown error"));
            }
            const int ended = ++done;
            if (progress) {
                progress(ended, total);
            }
        }
    };
    std::vector<std::thread> workers;
    const int count = std::max(1, std::min(parallel, total));
    for (int i = 0; i < count; ++i) {
        workers.emplace_back(work);
    }
    for (std::thread &worker : workers) {
        worker.join();
    }
    for (int index = 0; index < total; ++index) {
        results[distinct.at(index)] = answers[static_cast<size_t>(index)];
    }
    return results;
}
