// Reading the command line's CSV.
#include "batchcommand/BatchCsv.h"

#include <QDir>
#include <QFile>
#include <QStringConverter>
#include <QStringDecoder>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace BatchCsv {

namespace {

// Splits one line into fields; nullopt when a quote is left open.
std::optional<QStringList> fields(const QString& line) {
    QStringList out;
    QString field;
    bool quoted = false;
    bool wasQuoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == u'"' && i + 1 < line.size() && line[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"' && field.trimmed().isEmpty()) {
            quoted = true;
            wasQuoted = true;
            field.clear();
        } else if (c == u';') {
            out << (wasQuoted ? field : field.trimmed());
            field.clear();
            wasQuoted = false;
        } else {
            field += c;
        }
    }
    if (quoted)
        return std::nullopt;
    out << (wasQuoted ? field : field.trimmed());
    return out;
}

bool hasDigit(const QString& text) {
    for (const QChar c : text)
        if (c.isDigit())
            return true;
    return false;
}

// The first control character of a line (C0, DEL or C1), if any.
std::optional<QChar> controlIn(const QString& line) {
    for (const QChar c : line)
        if (c.category() == QChar::Other_Control)
            return c;
    return std::nullopt;
}

QString systemReason(int number) {
    switch (number) {
    case ENOENT:
        return QStringLiteral("o arquivo não existe");
    case EACCES:
    case EPERM:
        return QStringLiteral("sem permissão de leitura");
    case ENOTDIR:
    case ELOOP:
    case ENAMETOOLONG:
        return QStringLiteral("caminho inválido");
    default:
        return QString::fromLocal8Bit(std::strerror(number));
    }
}

// Closes a descriptor when its reading ends, however it ends.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

std::optional<QByteArray> readFile(const QString& path, QString* error) {
    const auto fail = [&](const QString& why) -> std::optional<QByteArray> {
        if (error)
            *error = QStringLiteral("Não foi possível ler o CSV %1: %2.").arg(path, why);
        return std::nullopt;
    };
    const QString notRegular =
        QStringLiteral("não é um arquivo comum (uma pasta, um dispositivo ou um FIFO não são "
                       "lidos)");
    const QString tooLarge =
        QStringLiteral("passa do limite de %1 bytes (1 MiB) de um lote").arg(kMaxBytes);
    // What the name leads to, judged alike before and after opening.
    const auto unfit = [&](const struct stat& found) -> QString {
        if (!S_ISREG(found.st_mode))
            return notRegular;
        if (found.st_size > kMaxBytes)
            return tooLarge;
        return {};
    };
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    // Judged before opening: opening a FIFO without a writer would wait.
    if (::stat(name.constData(), &info) != 0)
        return fail(systemReason(errno));
    if (const QString why = unfit(info); !why.isEmpty())
        return fail(why);
    // Opened without blocking and judged again on what was opened: the name
    // may have been given to something else since.
    const Descriptor fd(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0)
        return fail(systemReason(errno));
    if (const QString why = unfit(info); !why.isEmpty())
        return fail(why);
    // One byte past the bound tells a file that grew since.
    QByteArray bytes(qsizetype(kMaxBytes + 1), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(systemReason(errno));
        if (n == 0)
            break;
        got += n;
    }
    if (got > kMaxBytes)
        return fail(tooLarge);
    bytes.truncate(got);
    return bytes;
}

std::optional<QList<Row>> read(const QByteArray& bytes, const QString& folder, QString* error) {
    const auto fail = [&](const QString& why) -> std::optional<QList<Row>> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return fail(QStringLiteral("O arquivo CSV não está em UTF-8."));
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    const QStringList lines = text.split(QLatin1Char('\n'));
    QList<Row> rows;
    const QDir dir(folder);
    bool seenLine = false;
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QString line = lines[n];
        const int number = int(n + 1);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (const std::optional<QChar> control = controlIn(line))
            return fail(QStringLiteral("Linha %1 do CSV: caractere de controle (código 0x%2) não "
                                       "é aceito.")
                            .arg(number)
                            .arg(control->unicode(), 2, 16, QLatin1Char('0')));
        if (line.trimmed().isEmpty())
            continue;
        const std::optional<QStringList> parts = fields(line);
        if (!parts)
            return fail(QStringLiteral("Linha %1 do CSV: aspas não fechadas.").arg(number));
        const bool first = !seenLine;
        seenLine = true;
        if (first && !hasDigit(parts->value(0)))
            continue; // the header
        if (parts->size() < 2 || parts->at(0).isEmpty() || parts->at(1).isEmpty())
            return fail(QStringLiteral("Linha %1 do CSV: são esperados IE;arquivo;referências.")
                            .arg(number));
        if (!hasDigit(parts->at(0)))
            return fail(QStringLiteral("Linha %1 do CSV: a IE \"%2\" não tem nenhum dígito (só a "
                                       "primeira linha pode ser cabeçalho).")
                            .arg(number)
                            .arg(parts->at(0)));
        QStringList months;
        for (qsizetype i = 2; i < parts->size(); ++i)
            if (!parts->at(i).trimmed().isEmpty())
                months << parts->at(i).trimmed();
        rows.append({number, parts->at(0), QDir::cleanPath(dir.absoluteFilePath(parts->at(1))),
                     months.join(QLatin1Char(' '))});
    }
    if (rows.isEmpty())
        return fail(QStringLiteral("O arquivo CSV não tem nenhuma linha a enviar."));
    return rows;
}

QString quoted(const QString& field) {
    const bool plain = !field.contains(QLatin1Char(';')) && !field.contains(QLatin1Char('"')) &&
                       !field.contains(QLatin1Char('\n')) && !field.contains(QLatin1Char('\r')) &&
                       field == field.trimmed();
    if (plain)
        return field;
    QString out = field;
    out.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

} // namespace BatchCsv
