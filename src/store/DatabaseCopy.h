// Copy of the local SQLite database into an empty PostgreSQL database, for
// an office that grows from one desk to several (`dadav
// --copiar-banco-para-servidor`).
#pragma once

#include "store/LocalDb.h"

#include <QString>

namespace DatabaseCopy {

struct Counts {
    int contadores = 0;
    int contribuintes = 0;
};

// Copies every row of both tables of `source` into `target`: values as
// stored (NULL stays NULL), taxpayers in insertion order, all in one
// transaction on the target that holds both its tables locked. Throws DbError
// number DbError::kConflictNumber, with a Portuguese description, when the
// target holds any row; any failure leaves the target as it was.
Counts copyAll(LocalDb& source, LocalDb& target);

struct Outcome {
    int exitCode = 0; // 0 copied, 1 refused or failed
    QString message;  // Portuguese, one line ending in a line break
};

// The command: copies the application folder's dadav.mdb into the server that
// section [banco] of the settings names. Refuses settings without a server,
// a missing local file and a server database that holds data. Never throws.
Outcome copyLocalToServer();

} // namespace DatabaseCopy
