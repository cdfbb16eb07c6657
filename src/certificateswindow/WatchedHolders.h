// The holders whose certificates the program watches: every registered
// taxpayer (by its CNPJ) and the accountant (by CPF or CNPJ), read from the
// local database.
#pragma once

#include "certificates/ExpiryWatch.h"

#include <QList>

// The taxpayers in the database's order, then the accountant when there is
// one. Throws DbError when the database cannot be read.
QList<WatchedHolder> registeredHolders();
