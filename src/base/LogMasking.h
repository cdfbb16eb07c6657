// What the support log may hold of a secret: an access key only by its last
// two characters, a password or PIN not at all. Every text that goes into the
// log from outside (addresses, call parameters, messages shown to the user)
// passes through here first.
#pragma once

#include <QString>

namespace LogMasking {

// How a named value is written into the log.
enum class Kind {
    Plain,  // as it is
    Key,    // access keys and tokens: only the last two characters
    Secret, // passwords and PINs: nothing of it
};

// The kind of a parameter or query name, letter case ignored: "chave", "key",
// "token" (and names ending in them, "Chave", "requestKey") are Key; "senha",
// "password", "passwd", "pwd", "pin" (and names ending in them) are Secret;
// anything else is Plain.
Kind kindOf(const QString& name);

// The key with every character but the last two replaced by "*"
// ("A7K2M9QX" → "******QX"); a key of two characters or fewer becomes as
// many "*", so nothing of a short key is shown.
QString maskKey(const QString& key);

// value as the log may hold it under name (see kindOf); a secret reads
// "(omitida)" whatever its length, so not even its length is kept.
QString field(const QString& name, const QString& value);

// text with every "name=value" of a Key or Secret name masked (value runs to
// the next "&", blank, bracket, parenthesis, comma, semicolon, quotation mark
// or the end, as in a query, a list of parameters or a message) and the
// password of a "scheme://user:password@" address left out.
QString text(const QString& text);

} // namespace LogMasking
