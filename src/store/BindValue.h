// Values as the store binds them into statements.
#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <optional>

namespace BindValue {

// Text stored as given; an empty text, null or not, is stored as "" (never NULL),
// as the windows have always written their fields.
QVariant text(const QString& value);

// 0 or 1; nullopt is stored as NULL.
QVariant flag(std::optional<bool> value);

// A time as ISO 8601 text with milliseconds (the same text on both
// engines); an invalid time is stored as NULL.
QVariant time(const QDateTime& value);

// A text column as read: NULL reads as "".
QString readText(const QVariant& value);

// A 0/1 column as read: NULL reads as nullopt, any other number as value != 0.
std::optional<bool> readFlag(const QVariant& value);

// A time column as read: NULL reads as an invalid time.
QDateTime readTime(const QVariant& value);

} // namespace BindValue
