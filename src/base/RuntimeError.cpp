// Run-time error carried from a failing operation to the handler that reports it.
#include "base/RuntimeError.h"

#include <utility>

RuntimeError::RuntimeError(qint32 number, QString source, QString description)
    : m_number(number), m_source(std::move(source)), m_description(std::move(description)),
      m_what(m_description.toUtf8()) {}
