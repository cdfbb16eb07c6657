// The demo world the pictures show: the server simulator with a few
// companies and processed transmissions, an application folder with the
// office's accountant and one taxpayer, a backup archive of the state program
// where the declaration window looks for it, and a company certificate in the
// user's certificate store. Everything lives in temporary folders under a
// home folder of its own, so the user's own data is never read or touched.
#pragma once

#include "simulator/Simulator.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

class DemoData {
public:
    // The taxpayer on file, whose transmissions the main window lists.
    static const QString kIe;
    static const QString kName;
    static const QString kKey;
    // The company registered in the new-taxpayer window (no key yet).
    static const QString kNewIe;
    static const QString kNewName;
    static const QString kNewCnpj;

    // Points HOME and the XDG folders at a temporary home. Call before the
    // application object exists, so Qt's standard paths follow it. Throws
    // std::runtime_error when the folder cannot be made.
    DemoData();
    ~DemoData();
    DemoData(const DemoData&) = delete;
    DemoData& operator=(const DemoData&) = delete;

    // Starts the simulator, writes the application folder (dadav.ini,
    // info.dip, database) and makes it the client's, puts the backup archive
    // in place and imports the company certificate (PEM or DER file).
    // Throws std::runtime_error (or the store's errors) on any failure.
    void prepare(const QString& companyCertificate);

    // Folder and name of the declaration backup archive.
    QString backupFolder() const;
    static QString backupName();

    // The user's certificate store of the temporary home.
    QString certificateFolder() const;

private:
    QTemporaryDir m_home;
    QTemporaryDir m_appFolder;
    std::unique_ptr<valdoria::Simulator> m_simulator;
};
