// Reading of the Simples Nacional upload reply.
#include "transmission/SimplesReply.h"

namespace SimplesReply {

QStringList messages(const QByteArray& reply) {
    struct Marker {
        const char* text;
        QString message;
    };
    static const Marker markers[] = {
        {"ARQUIVO INVALIDO - EXTRATO",
         QStringLiteral("O arquivo que você enviou (Extrato) não é correto para esta operação, "
                        "por favor, verifique o manual que está disponível no site.")},
        {"ARQUIVO INVALIDO - RECIBO",
         QStringLiteral("O arquivo que você enviou (Recibo) não é correto para esta operação, "
                        "por favor, verifique o manual que está disponível no site.")},
        {"ARQUIVO INVALIDO - MODIFICADO",
         QStringLiteral("O arquivo que você enviou foi modificado, você deverá fazer o download "
                        "do arquivo original no site PGDAS. Se você decidir imprimir e salvar o "
                        "resultado da impressão em PDF continuará dando erro, a maneira correta "
                        "para isto é Salvar o arquivo.")},
    };
    QStringList found;
    for (const Marker& m : markers)
        if (reply.contains(m.text))
            found << m.message;
    return found;
}

bool isPdfName(const QString& fileName) {
    return fileName.right(3).toLower() == QLatin1String("pdf");
}

} // namespace SimplesReply
