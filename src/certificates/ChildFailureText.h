// The user's words for a reader child that gave no usable answer: shared by
// the token and browser sources.
#pragma once

#include "certificates/CertificateChild.h"

#include <QString>

#include <chrono>
#include <cstdint>

// "N" of "não respondeu em N s.": the time-out in whole seconds, rounded up.
QString secondsText(std::chrono::milliseconds timeout);

// One line naming a module (or database) whose child failed, e.g.
// "Módulo travado: NAME (FILE) não respondeu em 10 s.".
QString moduleFailureLine(const QString& name, const QString& file,
                          const CertificateChild::Failure& failure,
                          std::chrono::milliseconds timeout);

// The same for a whole source, without a name (the caller prefixes it).
QString sourceFailureText(const CertificateChild::Failure& failure,
                          std::chrono::milliseconds timeout);

// After "ORIGIN: ", a certificate object the reader left out because it
// claims `bytes`, over what a record may hold: "certificado de 100 MB
// deixado de fora (o limite é 1 MB)."
QString leftOutText(std::uint64_t bytes);
