// Matching files to taxpayers by the IE in their names.
#include "batch/FileMatching.h"

#include "registry/TaxpayerForm.h"
#include "validation/IEValida.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace FileMatching {

QStringList iesIn(const QString& name) {
    // Exactly 8 digits standing alone ("86123452-01"), or digits joined by
    // single "." or "-" that make 8 together ("86.123.45-2"). A longer number
    // (a CNPJ, a date-time) is never read as an IE.
    static const QRegularExpression kPlain(QStringLiteral("(?<!\\d)\\d{8}(?!\\d)"));
    static const QRegularExpression kPrinted(QStringLiteral("\\d(?:[.\\-]?\\d)*"));
    QStringList out;
    const auto take = [&out](const QString& digits) {
        if (digits.size() == 8 && IEValida::ValidaIE(digits, TaxpayerForm::kUf) &&
            !out.contains(digits))
            out << digits;
    };
    for (auto it = kPrinted.globalMatch(name); it.hasNext();) {
        const QString run = it.next().captured(0);
        QString digits = run;
        digits.remove(QLatin1Char('.')).remove(QLatin1Char('-'));
        if (digits.size() == 8)
            take(digits);
        else
            for (auto plain = kPlain.globalMatch(run); plain.hasNext();)
                take(plain.next().captured(0));
    }
    return out;
}

Match match(const QString& filePath, const QString& baseFolder, const QSet<QString>& registered) {
    const QFileInfo file(filePath);
    QStringList names{file.completeBaseName()};
    const QString base = QDir::cleanPath(QFileInfo(baseFolder).absoluteFilePath());
    QString folder = QDir::cleanPath(file.absolutePath());
    const bool under =
        !baseFolder.isEmpty() && (folder == base || folder.startsWith(base + QLatin1Char('/')));
    // By the path's text: the folders need not exist (a path read from a list).
    for (;;) {
        names << QFileInfo(folder).fileName();
        const QString parent = QFileInfo(folder).path();
        if (!under || folder == base || parent == folder)
            break;
        folder = parent;
    }

    Match out;
    for (const QString& name : names)
        for (const QString& ie : iesIn(name))
            if (!out.found.contains(ie))
                out.found << ie;
    if (out.found.isEmpty())
        out.reason = QStringLiteral("Nenhuma inscrição estadual no nome do arquivo ou da pasta.");
    else if (out.found.size() > 1)
        out.reason = QStringLiteral("Mais de uma inscrição estadual no nome: %1.")
                         .arg(out.found.join(QStringLiteral(", ")));
    else if (!registered.contains(out.found.first()))
        out.reason = QStringLiteral("Inscrição estadual %1 não cadastrada.").arg(out.found.first());
    else
        out.ie = out.found.first();
    return out;
}

} // namespace FileMatching
