#include "common/Errors.h"

TxError::TxError(const QString &message, const QString &className)
    : std::runtime_error(message.toStdString()), message_(message), className_(className) {}

QString ErrorText(const std::exception &error) {
    if (const auto *tx = dynamic_cast<const TxError *>(&error)) {
        return tx->Message();
    }
    return QString::fromLocal8Bit(error.what());
}
