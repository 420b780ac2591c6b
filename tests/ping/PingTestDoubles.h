#pragma once

#include <QColor>
#include <QList>
#include <QPointF>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QThread>
#include <deque>
#include <memory>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include "common/Errors.h"
#include "ping/ChartSink.h"
#include "ping/EchoService.h"

// The text that shows one request as the WMI ping status query of the original program writes
// it, so that a test states the address, payload and time-out a request went with in one line:
// SELECT * FROM Win32_PingStatus where Address='<address>' AND BufferSize=<n> AND TimeOut=<n>
// with every single quote inside the address doubled (o'host gives 'o''host').
inline QString EchoQueryText(const QString &address, quint16 bufferSize, quint16 timeOut) {
    QString quoted = address;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QStringLiteral(
               "SELECT * FROM Win32_PingStatus where Address='%1' AND BufferSize=%2 AND "
               "TimeOut=%3")
        .arg(quoted, QString::number(bufferSize), QString::number(timeOut));
}

// An echo service that answers from a script, one entry per request, and records the queries
// as their query texts (and, when asked, as they came).
// When the script runs out it answers with a time-out.
class ScriptedEchoService final : public TEchoService {
  public:
    explicit ScriptedEchoService(std::deque<std::optional<TPingReply>> script,
                                 QStringList *queries = nullptr,
                                 std::vector<TEchoQuery> *received = nullptr)
        : script_(std::move(script)), queries_(queries), received_(received) {}

    std::optional<TPingReply> ExecQuery(const TEchoQuery &query) override {
        if (queries_ != nullptr) {
            queries_->append(
                EchoQueryText(query.Address, query.Echo.BufferSize, query.Echo.TimeOut));
        }
        if (received_ != nullptr) {
            received_->push_back(query);
        }
        if (script_.empty()) {
            TPingReply timedOut;
            timedOut.StatusCode = 11010;
            return timedOut;
        }
        std::optional<TPingReply> next;
        if (script_.front().has_value()) {
            next.emplace(*script_.front());
        }
        script_.pop_front();
        return next;
    }

  private:
    std::deque<std::optional<TPingReply>> script_;
    QStringList *queries_;
    std::vector<TEchoQuery> *received_;
};

// A successful reply from `address` with the given trip time.
inline TPingReply Reply(quint32 milliseconds, const QString &address = QStringLiteral("10.0.0.1"),
                        quint32 size = 32, quint32 ttl = 57) {
    TPingReply reply;
    reply.StatusCode = 0;
    reply.ResponseTime = milliseconds;
    reply.ProtocolAddress = address;
    reply.ReplySize = size;
    reply.TimeToLive = ttl;
    return reply;
}

// A reply with a status other than 0 (or a null status when `status` is empty).
inline TPingReply Failure(std::optional<qint32> status,
                          const QString &address = QStringLiteral("192.0.2.1")) {
    TPingReply reply;
    reply.StatusCode = status;
    reply.ProtocolAddress = address;
    return reply;
}

// Records what a run does to the charts. The bar chart starts prepared like a fresh window
// (bars of 0.1, hidden) and the graph's axis window at 0-60.
class ChartRecorder final : public ChartSink {
  public:
    explicit ChartRecorder(int bars = 4) { PrepareBars(bars, 0.1); }

    void PrepareBars(int count, double height) override { bars = QList<double>(count, height); }
    void SetBarHeight(int index, double height) override {
        if (index >= 0 && index < bars.size()) {
            bars[index] = height;
        }
    }
    void SetBarsActive(bool active) override { barsActive = active; }
    void SetBarColor(const QColor &color) override { barColor = color; }
    void AppendPoint(double x, double y) override { points.append(QPointF(x, y)); }
    void ClearPoints() override { points.clear(); }
    double AxisMinimum() const override { return axisMinimum; }
    double AxisMaximum() const override { return axisMaximum; }
    void SetAxisRange(double minimum, double maximum) override {
        axisMinimum = minimum;
        axisMaximum = maximum;
    }
    void SetGraphColor(const QColor &color) override { graphColor = color; }

    QList<double> bars;
    bool barsActive = false;
    QColor barColor;
    QList<QPointF> points;
    double axisMinimum = 0;
    double axisMaximum = 60;
    QColor graphColor;
};

// Answers by address and request number alone, so any order of requests across addresses gives
// the same replies, after a short random pause, so that addresses finish out of list order:
//   "silent..."   time-outs from 192.0.2.9
//   "unknown..."  null status (a name that does not resolve)
//   "broken..."   one reply, then the service fails
//   anything else replies from 10.0.0.<n> with trip times of 0 to 29 ms
class AddressEcho final : public TEchoService {
  public:
    std::optional<TPingReply> ExecQuery(const TEchoQuery &query) override {
        thread_local std::mt19937 random(std::random_device{}());
        QThread::usleep(std::uniform_int_distribution<int>(0, 3000)(random));
        const int request = requests_++;
        const uint seed = qHash(query.Address);
        if (query.Address.startsWith(QLatin1String("silent"))) {
            return Failure(11010, QStringLiteral("192.0.2.9"));
        }
        if (query.Address.startsWith(QLatin1String("unknown"))) {
            return Failure(std::nullopt, QString());
        }
        if (query.Address.startsWith(QLatin1String("broken")) && request == 1) {
            throw TxError(QStringLiteral("Echo request failed: broken"));
        }
        return Reply((seed + static_cast<uint>(request) * 7) % 30,
                     QStringLiteral("10.0.0.%1").arg(seed % 250));
    }

  private:
    int requests_ = 0;
};

// The lines of a pane, each with its colour, the header's date and time left out.
inline QStringList ColouredPaneLines(const QTextDocument &pane) {
    static const QRegularExpression header(QStringLiteral("^Date: .*\tTime: .* ms$"));
    QStringList lines;
    for (QTextBlock block = pane.begin(); block.isValid(); block = block.next()) {
        QString text = block.text();
        if (header.match(text).hasMatch()) {
            text = QStringLiteral("Date: (date)\tTime: (time) ms");
        }
        const QColor colour = block.begin() != block.end()
                                  ? block.begin().fragment().charFormat().foreground().color()
                                  : block.charFormat().foreground().color();
        lines << colour.name() + QLatin1Char(' ') + text;
    }
    return lines;
}
