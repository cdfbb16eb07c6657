// The version answer's fixed positions and the installed version text.
#include "history/VersionAnswer.h"

#include "base/RuntimeError.h"

#include <QDate>
#include <QFile>
#include <QStringDecoder>
#include <QTime>

namespace {

const QString kSource = QStringLiteral("Principal.RecebeDadosServer");

// The one accepted time layout; the date part decides the rest.
std::optional<QDateTime> combine(const QString& datePart, const QString& dateFormat,
                                 const QString& timePart) {
    const QDate date = QDate::fromString(datePart, dateFormat);
    const QTime time = QTime::fromString(timePart, QStringLiteral("HH:mm:ss"));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    QDateTime value(date, time, Qt::LocalTime);
    // A local time that falls into a daylight-saving gap does not exist.
    if (!value.isValid() || value.time() != time)
        return std::nullopt;
    return value;
}

bool allDigits(QStringView text) {
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

} // namespace

namespace History {

QString Mid(const QString& text, int start, int length) {
    if (length <= 0)
        return {};
    const qsizetype from = start < 1 ? 0 : start - 1;
    if (from >= text.size())
        return {};
    return text.mid(from, length);
}

std::optional<QDateTime> parseServerDateTime(const QString& text) {
    if (text.size() != 19)
        return std::nullopt;
    // Fixed-width fields only: QDate's parser would also take one-digit
    // fields, which cannot fill 19 characters anyway, but blanks and signs
    // must not slip through either.
    const QString datePart = text.left(10);
    const QChar separator = text.at(10);
    const QString timePart = text.mid(11);
    if (separator != QLatin1Char(' ') && separator != QLatin1Char('T'))
        return std::nullopt;
    if (!allDigits(QStringView(timePart).left(2)) || !allDigits(QStringView(timePart).mid(3, 2)) ||
        !allDigits(QStringView(timePart).right(2)))
        return std::nullopt;
    if (datePart.at(4) == QLatin1Char('-') && datePart.at(7) == QLatin1Char('-') &&
        allDigits(QStringView(datePart).left(4)) && allDigits(QStringView(datePart).mid(5, 2)) &&
        allDigits(QStringView(datePart).right(2)))
        return combine(datePart, QStringLiteral("yyyy-MM-dd"), timePart);
    if (separator == QLatin1Char(' ') && datePart.at(2) == QLatin1Char('/') &&
        datePart.at(5) == QLatin1Char('/') && allDigits(QStringView(datePart).left(2)) &&
        allDigits(QStringView(datePart).mid(3, 2)) && allDigits(QStringView(datePart).right(4)))
        return combine(datePart, QStringLiteral("dd/MM/yyyy"), timePart);
    return std::nullopt;
}

VersionFields readVersionFields(const QString& returnText) {
    const QString dateText = Mid(returnText, 32, 19);
    const std::optional<QDateTime> date = parseServerDateTime(dateText);
    if (!date)
        throw RuntimeError(13, kSource,
                           QStringLiteral("Data do servidor ilegível: \"") + dateText +
                               QLatin1Char('"'));
    VersionFields fields;
    fields.dataServidor = *date;
    fields.anoTrabalho = Mid(returnText, 59, 9);
    fields.novaVersao = Mid(returnText, 78, 20);
    return fields;
}

bool keyRejected(const QString& wholeAnswer) {
    return wholeAnswer.contains(QLatin1String("CHAVE_I"), Qt::CaseSensitive);
}

bool isUpToDate(const QString& wholeAnswer, const QString& installedVersion) {
    return wholeAnswer.contains(installedVersion, Qt::CaseSensitive);
}

QString newVersionCaption(const QString& novaVersao) {
    return QStringLiteral("Nova atualização disponível para download - versão ") + novaVersao;
}

QString readInstalledVersion(const QString& path) {
    QFile file(path);
    // Binary read: the text's line breaks are compared as they are stored.
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(53, kSource,
                           QStringLiteral("Arquivo não encontrado: ") + path +
                               QStringLiteral(" (") + file.errorString() + QLatin1Char(')'));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw RuntimeError(57, kSource,
                           QStringLiteral("Erro ao ler ") + path + QStringLiteral(": ") +
                               file.errorString());
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    return text;
}

} // namespace History
