// Conversion between the store's C++ values and bound statement values.
#include "store/BindValue.h"

#include <QMetaType>

namespace BindValue {

QVariant text(const QString& value) {
    // A null QString binds as NULL; the literal "" is empty but not null.
    return QVariant(value.isNull() ? QStringLiteral("") : value);
}

QVariant flag(std::optional<bool> value) {
    if (!value)
        return QVariant(QMetaType::fromType<int>());
    return QVariant(*value ? 1 : 0);
}

QVariant time(const QDateTime& value) {
    if (!value.isValid())
        return QVariant(QMetaType::fromType<QString>());
    return QVariant(value.toString(Qt::ISODateWithMs));
}

QString readText(const QVariant& value) {
    return value.isNull() ? QString() : value.toString();
}

std::optional<bool> readFlag(const QVariant& value) {
    if (value.isNull())
        return std::nullopt;
    return value.toLongLong() != 0;
}

QDateTime readTime(const QVariant& value) {
    return value.isNull() ? QDateTime()
                          : QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
}

} // namespace BindValue
