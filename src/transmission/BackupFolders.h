// Where the state's VAV-UVOD program keeps its backup archives, so the
// declaration window can open its file browser there. The program installs
// under "Arquivos de Programas" or "Program Files" (32- or 64-bit) on drive C:
// or D:; on Linux it runs under Wine, whose drives C: and D: are the folders
// ~/.wine/drive_c and ~/.wine/drive_d.
#pragma once

#include <QList>
#include <QString>

#include <functional>

namespace BackupFolders {

struct Candidate {
    QChar drive;    // 'C' or 'D'
    QString folder; // absolute folder, "/" separators, no trailing separator
};

// The (at most) eight candidates in the order they are tried: C: with "Arquivos de
// Programas", "Program Files", "Program Files (x86)", "Arquivos de Programas
// (x86)", then the same four on D:. driveRoot maps a drive letter to the folder
// that stands for it ("C:/" on Windows, the Wine drive on Linux); a drive it
// maps to "" (absent) has no candidates.
QList<Candidate> candidates(const std::function<QString(QChar)>& driveRoot);

struct Discovery {
    QChar drive;    // drive to show: 'D' when any D: folder exists, else 'C' when any C: one
                    // exists, else null (nothing found)
    QString folder; // the last existing candidate in table order; empty when none
};

// Tries every candidate with `exists`. A missing folder is not an error.
Discovery discover(const QList<Candidate>& list, const std::function<bool(const QString&)>& exists);

} // namespace BackupFolders
