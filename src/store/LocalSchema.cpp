// Table definitions of the local database.
#include "store/LocalSchema.h"

namespace LocalSchema {

const char* createContadorSql() {
    return "CREATE TABLE IF NOT EXISTS tblContador ("
           "cont_cpf_cnpj TEXT, cont_num_crc TEXT, cont_razao_nome TEXT, "
           "cont_nom_endereco TEXT, cont_num_predial TEXT, cont_dsc_complemento TEXT, "
           "cont_nom_bairro TEXT, cont_nom_cidade TEXT, cont_nom_estado TEXT, "
           "cont_num_telefone TEXT, cont_num_cep TEXT, cont_email TEXT)";
}

const char* createContribuinteSql() {
    return "CREATE TABLE IF NOT EXISTS tblContribuinte ("
           "IE TEXT COLLATE NOCASE, RazaoSocial TEXT, Cnpj TEXT, Cnae TEXT, Chave TEXT, "
           "CCM TEXT, OptanteSimples INTEGER CHECK (OptanteSimples IN (0, 1)))";
}

QList<QString> serverMigration(int version) {
    switch (version) {
    case 1:
        return {
            QString::fromLatin1(createContadorSql()),
            QStringLiteral("CREATE TABLE IF NOT EXISTS tblContribuinte ("
                           "rowid BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY, "
                           "IE TEXT, RazaoSocial TEXT, Cnpj TEXT, Cnae TEXT, Chave TEXT, "
                           "CCM TEXT, OptanteSimples INTEGER CHECK (OptanteSimples IN (0, 1)))"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS tblContribuinte_ie "
                           "ON tblContribuinte (lower(IE))"),
        };
    default:
        return {};
    }
}

} // namespace LocalSchema
