// The upload addresses of the two transmission windows. Values go into the
// query exactly as they are held (the server reads them that way); the
// upload engine refuses an address holding a line break. A host that is more
// than a host (ServerHost::isPlainHost: a port, path or user inside it) is
// left out of the address, so the upload engine refuses it as "Invalid Host"
// and nothing is sent.
#pragma once

#include <QString>

class LocalDb;

namespace UploadAddress {

// The accountant's document (`contador`) every sender puts in the address:
// `cont_cpf_cnpj` exactly as stored, punctuation included ("" when no
// accountant is registered). Throws DbError.
QString accountant(LocalDb& db);

// "http://host:port/client/xt_upload_1_15_01.php?ie=IE&contador=DOC&chave=KEY&gias=LIST".
QString declaration(const QString& host, const QString& port, const QString& ie,
                    const QString& contador, const QString& chave, const QString& gias);

// "http://host:port /client/xt_upload_simples.php?contador=DOC&chave=KEY&gias=", with the
// blank before the path that the server has always been sent; the address
// splitter reads the port through it. Ends in "&gias=" with nothing after it.
QString simples(const QString& host, const QString& port, const QString& contador,
                const QString& chave);

} // namespace UploadAddress
