// Base64 decoding for certificate exports: turns the Base64 text of a
// certificate into its DER bytes so the certificate checks can search them.
#pragma once

#include <QByteArray>
#include <QString>

namespace Enc64 {

// Decodes Base64 text into bytes.
//
// Carriage returns and line feeds are removed first. The decoder is lenient in
// the same ways the server-side tools expect: any character outside the
// Base64 alphabet (including "=", blanks and every character above U+00FF,
// which has no single-byte code) decodes as the value 0, and the number of
// bytes dropped from the end is 2 when "==" appears anywhere in the text,
// else 1 when "=" appears anywhere, else 0.
//
// Throws RuntimeError (number 0x80040000 as a signed 32-bit value, source
// "MyDecode", description "Input string is not valid Base64.") when the length
// without line breaks is not a multiple of 4. The empty text gives no bytes.
QByteArray MyDecode(const QString& text);

} // namespace Enc64
