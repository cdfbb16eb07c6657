// Reading the watched holders from the local database.
#include "certificateswindow/WatchedHolders.h"

#include "store/ContadorRepository.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"

QList<WatchedHolder> registeredHolders() {
    LocalDb db;
    QList<WatchedHolder> holders;
    for (const ContribuinteRow& row : listContribuintes(db))
        holders.append({QStringLiteral("Contribuinte"), row.RazaoSocial, row.Cnpj});
    if (const std::optional<ContadorRow> accountant = selectContador(db))
        holders.append(
            {QStringLiteral("Contador"), accountant->cont_razao_nome, accountant->cont_cpf_cnpj});
    return holders;
}
