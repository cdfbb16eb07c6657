// The support log: one line per server call, upload and error shown to the
// user, so that a technician can tell afterwards what happened. It is written
// from any thread, never holds a password, PIN, file content or a whole access
// key (callers mask through LogMasking; write() masks the text again), and
// never disturbs the user's work: a line that cannot be written is dropped.
//
// Files: "dadav.log" in the log folder, the older ones "dadav.log.1" up to
// "dadav.log.<files - 1>". When the next line would take the current file past
// fileBytes, the files shift by one and the oldest goes, so the log never
// takes more than files × fileBytes. The folder is made 0700 and every file
// 0600 on every write (see PrivateFiles), wherever the folder lies.
#pragma once

#include <QString>
#include <QtGlobal>

namespace SupportLog {

struct Limits {
    qint64 fileBytes = 1024 * 1024; // largest size of one file
    int files = 3;                  // the current file and the older ones kept
};

// The per-user folder of the log: QStandardPaths::AppDataLocation +
// "/registros" (the program's data folder, whatever the application folder).
QString defaultFolder();

// Writes from now on into folder (created when the first line is written).
// An empty folder stops the log; nothing is written until open() is called,
// so tests write only where they say.
void open(const QString& folder, Limits limits = {});

// The folder open() named last, or the empty text when the log is off.
QString folder();

// Appends "yyyy-MM-dd HH:mm:ss.zzz <topic> <text>" (local time) as one line:
// line breaks in text become " | ", the text passes through
// LogMasking::text and is cut at 2000 characters. Returns false when the log
// is off or the line could not be written; never throws.
bool write(const QString& topic, const QString& text) noexcept;

} // namespace SupportLog
