#pragma once

#include <QString>
#include <stdexcept>

// The error that core functions raise. It carries the text shown to the user and, where a
// message names the kind of failure ("Error EIdSocketError [ ... ]"), the class name of that
// kind.
class TxError : public std::runtime_error {
  public:
    explicit TxError(const QString &message,
                     const QString &className = QStringLiteral("Exception"));

    QString Message() const { return message_; }
    QString ClassName() const { return className_; }

  private:
    QString message_;
    QString className_;
};

// Returns the readable text of any exception object: TxError's message, std::exception's what().
QString ErrorText(const std::exception &error);
