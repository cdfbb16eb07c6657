// Run-time error carried from a failing operation to the handler that reports it.
#include "base/RuntimeError.h"

#include <utility>

RuntimeError::RuntimeError(qint32 number, QString source, QString description)
    : m_number(number), m_source(std::move(source)), m_description(std::move(description)),
      m_what(m_description.toUtf8()) {}

RuntimeError RuntimeError::from(const QString& source, const std::exception& error) {
    if (const auto* known = dynamic_cast<const RuntimeError*>(&error))
        return *known;
    return RuntimeError(0, source, QString::fromLocal8Bit(error.what()));
}
