// The run-time error every handler catches at its top: a number, the source
// that raised it and a description, as the error report shows them.
#pragma once

#include <QString>
#include <QtGlobal>
#include <exception>

class RuntimeError : public std::exception {
public:
    // number is a signed 32-bit value: application errors such as 0x80040000
    // read as negative numbers in the error report.
    RuntimeError(qint32 number, QString source, QString description);

    // What a handler shows for any exception it caught: a RuntimeError as it
    // is; any other std::exception as number 0 raised by `source`, its text
    // read in the local encoding.
    static RuntimeError from(const QString& source, const std::exception& error);

    qint32 number() const { return m_number; }
    const QString& source() const { return m_source; }
    const QString& description() const { return m_description; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    qint32 m_number;
    QString m_source;
    QString m_description;
    QByteArray m_what;
};
