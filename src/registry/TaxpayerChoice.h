// What the three windows that list the taxpayers (selection, update chooser,
// deletion) share without a widget: the grid's columns, the rule that tells
// whether a row was chosen, and their messages.
#pragma once

#include "store/ContribuinteRepository.h"

#include <QString>
#include <QStringList>

namespace TaxpayerChoice {

// Grid columns (the header is not a row of the grid).
enum Column { ColIE, ColRazaoSocial, ColCnpj, ColCnae, ColChave };
inline constexpr int kColumns = 5;

// Header text of a column ("" for the key column, which has none).
QString header(int column);

// Width of a column in twips; the key column is data only (0: hidden).
int columnTwips(int column);

// The texts of one grid row for a stored taxpayer, in column order; the key
// column stays empty when the row has no key.
QStringList rowCells(const ContribuinteRow& row);

// A row counts as chosen when its name column is neither empty nor the
// header text "RAZÃO SOCIAL".
bool isChosen(const QString& razaoSocialCell);

// Title of the boxes of these windows.
inline const QString kTitle = QStringLiteral("VAV-UVOD - RJ");

// Nothing chosen in the selection window, and any failure of OK in the three
// windows.
inline const QString kMsgCadastrar = QStringLiteral("É necessário cadastrar empresa");
// Nothing chosen in the update chooser or the deletion window.
inline const QString kMsgSelecionar = QStringLiteral("É necessário selecionar a empresa");
// The deletion's question and its confirmation.
inline const QString kAskExcluir = QStringLiteral("Deseja realmente excluir este contribuinte");
inline const QString kMsgExcluido = QStringLiteral("Contribuinte Excluído");

} // namespace TaxpayerChoice
