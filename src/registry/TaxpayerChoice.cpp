// Grid columns and the choice rule of the taxpayer lists.
#include "registry/TaxpayerChoice.h"

namespace TaxpayerChoice {

namespace {

struct ColumnSetUp {
    const char* header;
    int twips;
};

const ColumnSetUp kSetUp[kColumns] = {
    {"IE", 1300}, {"RAZÃO SOCIAL", 4400}, {"CNPJ", 1600}, {"CNAE", 1000}, {"", 0},
};

} // namespace

QString header(int column) {
    return column >= 0 && column < kColumns ? QString::fromUtf8(kSetUp[column].header) : QString();
}

int columnTwips(int column) {
    return column >= 0 && column < kColumns ? kSetUp[column].twips : 0;
}

QStringList rowCells(const ContribuinteRow& row) {
    return {row.IE, row.RazaoSocial, row.Cnpj, row.Cnae, row.Chave};
}

bool isChosen(const QString& razaoSocialCell) {
    return !razaoSocialCell.isEmpty() && razaoSocialCell != header(ColRazaoSocial);
}

} // namespace TaxpayerChoice
