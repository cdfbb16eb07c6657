// Terminal answers of the program.
#include "app/CommandLine.h"

#include "base/ProgramInfo.h"

namespace CommandLine {

TerminalAnswer answer(const QStringList& arguments) {
    // The batch has options of its own, --help among them.
    if (arguments.contains(QLatin1String("--enviar-lote"))) {
        TerminalAnswer batch;
        batch.batchCommand = true;
        return batch;
    }
    if (arguments.contains(QLatin1String("--buscar-recibos"))) {
        TerminalAnswer receipts;
        receipts.receiptCommand = true;
        return receipts;
    }
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--version") || argument == QLatin1String("-v"))
            return {true, QStringLiteral("dadav ") + ProgramInfo::version() + QLatin1Char('\n'), 0};
        if (argument == QLatin1String("--copiar-banco-para-servidor")) {
            TerminalAnswer copy;
            copy.copyDatabaseToServer = true;
            return copy;
        }
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h"))
            return {true,
                    QStringLiteral(
                        "Uso: dadav [opções]\n"
                        "Transmite as declarações de ICMS das empresas clientes do escritório "
                        "contábil à Prefeitura Municipal de Valdoria.\n"
                        "Sem opções, abre a janela do programa.\n\n"
                        "Opções:\n"
                        "  -h, --help     mostra esta ajuda e sai\n"
                        "  -v, --version  mostra a versão do programa e sai\n"
                        "  --copiar-banco-para-servidor\n"
                        "                 copia o banco local (dadav.mdb) para o banco vazio do\n"
                        "                 servidor PostgreSQL da seção [banco] de dadav.ini e "
                        "sai\n"
                        "  --enviar-lote ARQUIVO.csv\n"
                        "                 envia sem janelas as linhas do CSV (veja\n"
                        "                 dadav --enviar-lote --help)\n"
                        "  --buscar-recibos [AAAA-MM ...]\n"
                        "                 guarda sem janelas os recibos dos envios processados\n"
                        "                 (veja dadav --buscar-recibos --help)\n"),
                    0};
    }
    return {};
}

} // namespace CommandLine
