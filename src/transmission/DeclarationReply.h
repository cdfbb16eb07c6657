// What the declaration window reads in the server's reply to an upload: the
// server marks a refusal ("ERRO - CHAVE INVALIDA", "ERRO - CAMPO objArquivo
// AUSENTE", ...) with "ERRO" in an HTML page, which the user is shown as text.
#pragma once

#include <QString>

namespace DeclarationReply {

// The server's message in a reply: the reply's body (what follows the header
// block, when the reply has one) with its markup stripped; else the whole
// reply stripped; else, when only markup holds text, the whole reply with
// blanks collapsed. Cut at 2000 characters (then ending in "…").
QString message(const QString& replyText);

// The refusal to show when the reply's text contains "ERRO" (letter case as
// written): its message(). Empty when the reply holds no "ERRO".
QString refusal(const QString& replyText);

// The readable text of an HTML fragment: no tags, comments, head, script or
// style; the common entities and numeric references decoded; block tags and
// line breaks give one line each, blanks inside a line collapsed, empty lines
// dropped.
QString stripMarkup(const QString& html);

} // namespace DeclarationReply
