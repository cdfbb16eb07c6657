// What the support log may hold of a secret: an access key only by its last
// two characters, a password or PIN not at all, a personal value (the
// accountant's CPF or CNPJ, name, address, telephone, e-mail) only by its
// size. Every text that goes into the
// log from outside (addresses, call parameters, messages shown to the user)
// passes through here first.
#pragma once

#include <QString>

namespace LogMasking {

// How a named value is written into the log.
enum class Kind {
    Plain,    // as it is
    Key,      // access keys and tokens: only the last two characters
    Secret,   // passwords and PINs: nothing of it
    Personal, // a person's data: only its size, "(11 caracteres)"
};

// The kind of a parameter or query name, letter case ignored: "chave", "key",
// "token" (and names ending in them, "Chave", "requestKey") are Key; "senha",
// "password", "passwd", "pwd", "pin" (and names ending in them) are Secret;
// "contador", "cpf", "cnpj", "crc", "nome" after "razao_", the parts of an
// address ("endereco", "complemento", "bairro", "cidade", "estado", "cep"),
// "telefone" and "email" (and names ending in them) are Personal; anything
// else is Plain ("strNome", which carries an IE or a protocol, among them).
Kind kindOf(const QString& name);

// The key with every character but the last two replaced by "*"
// ("A7K2M9QX" → "******QX"); a key of two characters or fewer becomes as
// many "*", so nothing of a short key is shown.
QString maskKey(const QString& key);

// value as the log may hold it under name (see kindOf); a secret reads
// "(omitida)" whatever its length, so not even its length is kept; a
// personal value reads "(N caracteres)".
QString field(const QString& name, const QString& value);

// text with every "name=value" of a name that is not Plain masked and the
// password of a "scheme://user:password@" address left out. The pair may be
// spelt as servers and messages spell it: "=" or ":", blanks around it, the
// value in quotation marks or apostrophes ("CHAVE = X", "Chave: X",
// "chave='X'", "senha: X"); the value runs to the next "&", blank, bracket,
// parenthesis, comma, semicolon, quotation mark or the end. An empty value, and
// so one masked already ("(omitida)", "(11 caracteres)"), stays as it is.
QString text(const QString& text);

} // namespace LogMasking
