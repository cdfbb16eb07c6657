// The receipts of processed sendings kept in the archive.
#include "receipts/ReceiptKeeper.h"

#include "archive/SentArchive.h"
#include "base/PrivateFiles.h"
#include "base/RuntimeError.h"
#include "net/SoapClient.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>
#include <exception>
#include <functional>

namespace Receipts {

namespace {

// An IE, a month or a protocol as a path's part: letters, digits and "-".
QString plain(const QString& text) {
    QString out;
    for (const QChar c : text)
        out += c.isLetterOrNumber() || c == u'-' ? c : QChar(u'_');
    return out.isEmpty() ? QStringLiteral("_") : out;
}

// A company's name as a person reads it in a file name.
QString companyPart(const QString& name) {
    QString out;
    for (const QChar c : name) {
        out += c.isLetterOrNumber() || c == u'-' || c == u'&' || c == u',' ? c : QChar(u' ');
    }
    return out.simplified().left(60).trimmed();
}

// Where a receipt's files are and what they start with; filesOf looks them up
// by IE, month and protocol so a renamed company still finds its own.
QString suffixOf(const Sending& sending) {
    return QStringLiteral(" protocolo ") + plain(sending.protocolo);
}

bool sameBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.size() == bytes.size() && f.open(QIODevice::ReadOnly) && f.readAll() == bytes;
}

const QString kIe = QStringLiteral("ie");
const QString kCompany = QStringLiteral("razaoSocial");
const QString kReference = QStringLiteral("referencia");
const QString kProtocol = QStringLiteral("protocolo");
const QString kProcessedAt = QStringLiteral("processadoEm");

// The sending as its list showed it, without its key.
QByteArray recordOf(const Sending& s) {
    return QJsonDocument(QJsonObject{{kIe, s.ie},
                                     {kCompany, s.razaoSocial},
                                     {kReference, s.referencia},
                                     {kProtocol, s.protocolo},
                                     {kProcessedAt, s.processedAt}})
        .toJson();
}

} // namespace

QString Kept::handout() const {
    return files.page.endsWith(QLatin1String(".pdf")) ? files.page : files.pdf;
}

// The receipts whose records lie in one taxpayer's month folder.
static void keptIn(const QDir& folder, const QString& month, QList<Kept>& out) {
    for (const QString& name :
         folder.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        QFile f(folder.filePath(name));
        if (!f.open(QIODevice::ReadOnly) || f.size() > 64 * 1024)
            continue;
        const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
        Kept kept;
        kept.sending = {o.value(kIe).toString(),
                        o.value(kCompany).toString(),
                        {},
                        o.value(kReference).toString(),
                        o.value(kProtocol).toString(),
                        o.value(kProcessedAt).toString()};
        if (kept.sending.ie.isEmpty() || kept.sending.protocolo.isEmpty() ||
            referenceMonth(kept.sending.referencia) != month)
            continue;
        kept.files = filesOf(kept.sending);
        // Only the record filesOf finds: a copy kept beside it is no other receipt.
        if (kept.files.record == f.fileName())
            out << kept;
    }
}

QList<Kept> keptInMonth(const QString& month) {
    QList<Kept> out;
    const QDir root(SentArchive::rootFolder());
    for (const QString& ie : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        keptIn(QDir(root.filePath(ie + QStringLiteral("/recibos/") + plain(month))), month, out);
    return out;
}

QList<Kept> keptOf(const QString& ie) {
    QList<Kept> out;
    const QDir folder(
        QDir(SentArchive::rootFolder()).filePath(plain(ie) + QStringLiteral("/recibos")));
    const QStringList months = folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (auto m = months.crbegin(); m != months.crend(); ++m)
        keptIn(QDir(folder.filePath(*m)), *m, out);
    return out;
}

QStringList monthsKept() {
    static const QRegularExpression month(QStringLiteral("^\\d{4}-\\d{2}$"));
    QStringList out;
    const QDir root(SentArchive::rootFolder());
    for (const QString& ie : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        for (const QString& m : QDir(root.filePath(ie + QStringLiteral("/recibos")))
                                    .entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            if (month.match(m).hasMatch() && !out.contains(m))
                out << m;
    std::sort(out.begin(), out.end(), std::greater<>());
    return out;
}

QString referenceMonth(const QString& referencia) {
    static const QRegularExpression month(QStringLiteral("^(\\d{1,2})/(\\d{4})$"));
    QString text = referencia;
    text.remove(u' ');
    const QRegularExpressionMatch m = month.match(text);
    if (!m.hasMatch())
        return {};
    const int number = m.captured(1).toInt();
    if (number < 1 || number > 12)
        return {};
    return m.captured(2) + QLatin1Char('-') + QStringLiteral("%1").arg(number, 2, 10, QChar(u'0'));
}

QString folderOf(const QString& ie, const QString& month) {
    return QDir(SentArchive::rootFolder())
        .filePath(plain(ie) + QStringLiteral("/recibos/") + plain(month));
}

QString baseName(const Sending& s) {
    const QString company = companyPart(s.razaoSocial);
    return plain(s.ie) + (company.isEmpty() ? QString() : QLatin1Char(' ') + company) +
           QLatin1Char(' ') + referenceMonth(s.referencia) + suffixOf(s);
}

std::optional<PageKind> judgePage(const HttpPage& page, const QString& protocolo, QString* why) {
    const auto refuse = [why](const QString& text) -> std::optional<PageKind> {
        if (why)
            *why = text;
        return std::nullopt;
    };
    if (page.status != 200)
        return refuse(QStringLiteral("o servidor respondeu HTTP %1").arg(page.status));
    if (page.body.isEmpty())
        return refuse(QStringLiteral("a página veio vazia"));
    const QByteArray type = page.contentType.split(';').first().trimmed().toLower();
    if (type == "application/pdf") {
        if (!page.body.startsWith("%PDF-"))
            return refuse(QStringLiteral("a página diz ser PDF, mas não é"));
        return PageKind::Pdf;
    }
    if (type != "text/html")
        return refuse(QStringLiteral("a página é do tipo \"%1\", não um recibo")
                          .arg(QString::fromLatin1(type.isEmpty() ? "nenhum" : type)));
    const QByteArray lower = page.body.toLower();
    static const QRegularExpression password(QStringLiteral("type\\s*=\\s*[\"']?password"));
    if (password.match(QString::fromLatin1(lower)).hasMatch())
        return refuse(QStringLiteral("o servidor mostrou uma página de acesso, não o recibo"));
    if (protocolo.isEmpty() || !page.body.contains(protocolo.toUtf8()))
        return refuse(QStringLiteral("a página não é o recibo do protocolo %1 (uma página de "
                                     "erro ou outra página)")
                          .arg(protocolo));
    return PageKind::Html;
}

Files filesOf(const Sending& sending) {
    Files files;
    const QDir folder(folderOf(sending.ie, referenceMonth(sending.referencia)));
    const QString suffix = suffixOf(sending);
    const QString start = plain(sending.ie) + QLatin1Char(' ');
    const QStringList names = folder.entryList(QDir::Files, QDir::Name);
    for (const QString& name : names) {
        if (!name.startsWith(start))
            continue;
        const QString path = folder.filePath(name);
        if (files.xml.isEmpty() && name.endsWith(suffix + QStringLiteral(".xml")))
            files.xml = path;
        else if (files.page.isEmpty() && (name.endsWith(suffix + QStringLiteral(".html")) ||
                                          name.endsWith(suffix + QStringLiteral(".pdf"))))
            files.page = path;
        else if (files.pdf.isEmpty() && name.endsWith(suffix + QStringLiteral(" (programa).pdf")))
            files.pdf = path;
        else if (files.record.isEmpty() && name.endsWith(suffix + QStringLiteral(".json")))
            files.record = path;
    }
    return files;
}

QString writeOnce(const QString& path, const QByteArray& bytes, QString* note, QString* error) {
    return writeOnce(path, bytes, note, error, PrivateFiles::applicationFolderPrivate());
}

QString writeOnce(const QString& path, const QByteArray& bytes, QString* note, QString* error,
                  bool isPrivate) {
    const QFileInfo info(path);
    if (!PrivateFiles::makeFolder(info.path(), isPrivate)) {
        *error = QStringLiteral("não foi possível criar a pasta %1")
                     .arg(QDir::toNativeSeparators(info.path()));
        return {};
    }
    QString target = path;
    for (int n = 2; QFileInfo::exists(target); ++n) {
        if (sameBytes(target, bytes))
            return target;
        target = info.dir().filePath(
            QStringLiteral("%1 (%2).%3").arg(info.completeBaseName()).arg(n).arg(info.suffix()));
    }
    QSaveFile f(target);
    if (!f.open(QIODevice::WriteOnly) || !PrivateFiles::restrict(f, isPrivate) ||
        f.write(bytes) != bytes.size() || !f.commit()) {
        *error = QStringLiteral("não foi possível gravar %1").arg(QDir::toNativeSeparators(target));
        return {};
    }
    if (target != path && note)
        *note = QStringLiteral("o recibo difere do guardado antes em %1; os dois foram mantidos")
                    .arg(QFileInfo(path).fileName());
    return target;
}

Keeper::Keeper(SoapClient& soap, PageClient& pages, PdfMaker makePdf, QString host)
    : m_soap(soap), m_pages(pages), m_makePdf(std::move(makePdf)), m_host(std::move(host)) {}

Outcome Keeper::keep(const Sending& sending) {
    Outcome out;
    out.files = filesOf(sending);
    if (out.files.complete() && !out.files.pdf.isEmpty()) {
        out.state = Outcome::State::AlreadyKept;
        return out;
    }
    const QString month = referenceMonth(sending.referencia);
    if (month.isEmpty()) {
        out.text = QStringLiteral("a referência \"%1\" não é um mês").arg(sending.referencia);
        return out;
    }
    const QString base = QDir(folderOf(sending.ie, month)).filePath(baseName(sending));
    QString note;
    try {
        QByteArray xml;
        if (out.files.xml.isEmpty()) {
            const QString answer =
                m_soap.call(Soap::ServicePath, History::kReceiptOperation,
                            History::receiptCallParams(sending.protocolo, sending.chave));
            xml = Soap::GetResult(answer, QStringLiteral("return")).toUtf8();
            const History::ReceiptDocument receipt = History::readReceipt(QString::fromUtf8(xml));
            if (!receipt.wellFormed) {
                out.text = QStringLiteral("o recibo do servidor não pôde ser lido: %1")
                               .arg(receipt.reason);
                return out;
            }
            out.files.xml = writeOnce(base + QStringLiteral(".xml"), xml, &note, &out.text);
            if (out.files.xml.isEmpty())
                return out;
            out.files.record =
                writeOnce(base + QStringLiteral(".json"), recordOf(sending), &note, &out.text);
            if (out.files.record.isEmpty())
                return out;
        } else {
            QFile f(out.files.xml);
            if (!f.open(QIODevice::ReadOnly)) {
                out.text = QStringLiteral("não foi possível ler %1").arg(out.files.xml);
                return out;
            }
            xml = f.readAll();
        }
        if (out.files.pdf.isEmpty()) {
            QString error;
            const QByteArray pdf =
                m_makePdf(sending, History::readReceipt(QString::fromUtf8(xml)), &error);
            if (pdf.isEmpty()) {
                out.text = QStringLiteral("o PDF do recibo não foi feito: %1").arg(error);
                return out;
            }
            out.files.pdf =
                writeOnce(base + QStringLiteral(" (programa).pdf"), pdf, &note, &out.text);
            if (out.files.pdf.isEmpty())
                return out;
        }
        if (out.files.page.isEmpty()) {
            const HttpPage page = m_pages.get(
                QUrl(History::receiptLink(m_host, sending.ie, sending.chave, sending.referencia)));
            QString why;
            const std::optional<PageKind> kind = judgePage(page, sending.protocolo, &why);
            if (!kind) {
                out.text = QStringLiteral("a página do recibo não foi guardada: %1").arg(why);
                return out;
            }
            const QString extension =
                *kind == PageKind::Pdf ? QStringLiteral(".pdf") : QStringLiteral(".html");
            out.files.page = writeOnce(base + extension, page.body, &note, &out.text);
            if (out.files.page.isEmpty())
                return out;
        }
    } catch (const std::exception& e) {
        out.text =
            QStringLiteral("falha ao buscar o recibo: %1")
                .arg(RuntimeError::from(QStringLiteral("Receipts::Keeper"), e).description());
        return out;
    }
    out.state = Outcome::State::Kept;
    out.text = note;
    return out;
}

} // namespace Receipts
