// A receipt as a PDF a person can print and file: who it is for, its
// protocol and reference, and every delivery item with its lines, as the
// main window's receipt tree shows them. Made with Qt's PDF writer.
#pragma once

#include "history/Receipt.h"

#include <QString>

namespace ReceiptPdf {

struct Heading {
    QString ie;
    QString razaoSocial;
    QString referencia;
    QString protocolo;
    QString dataProcessamento;
    QString emitidoEm; // when the client made the PDF, "dd/MM/yyyy HH:mm"
};

// The receipt as HTML (every text escaped). Items without a DETALHE are
// shown with their lines only.
QString html(const Heading& heading, const History::ReceiptDocument& receipt);

// Writes the PDF; the empty text on success, else why not (Portuguese).
QString write(const QString& path, const Heading& heading, const History::ReceiptDocument& receipt);

} // namespace ReceiptPdf
