// Windows-1252, the code page in which the upload request carries the file
// name, by its fixed table. It differs from Latin-1 only in the bytes 0x80 to
// 0x9F; the five bytes the code page leaves undefined stand for the control
// characters of the same number, as the system's conversion library has them.
// Kept here rather than asked of that library: the table never changes, and
// the uploader then never pages in the library's conversion data (about a
// mebibyte of memory for a few bytes of a file name).
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace CodePage1252 {

// The byte that stands for `c`, or nullopt when the code page has none.
std::optional<char> byteOf(char32_t c);

// The first character of `text` the code page cannot hold (as a string, a
// surrogate pair whole); empty when every character fits.
QString firstOutside(const QString& text);

// `text` in the code page; a character it cannot hold becomes '?'. Meant for
// texts firstOutside accepts.
QByteArray encode(const QString& text);

// The characters `bytes` stand for; every byte stands for one.
QString decode(const QByteArray& bytes);

} // namespace CodePage1252
