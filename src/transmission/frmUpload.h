// The declaration transmission window: the user picks the VAV-UVOD backup
// archive (the browser opens at the state program's backup folder), the
// reference months of the working years, confirms with the accountant's
// certificate and sends the archive byte for byte to the declaration upload
// script. The first reply re-enables the main window, refreshes its list and
// unloads this window.
//
// Opened by the main window's transmit command, which disables the main
// window; every way out of this window enables it again.
#pragma once

#include "transmission/ReferenceList.h"
#include "transmission/TransmissionWindow.h"

class QLabel;
class QGroupBox;
class QProgressBar;

class frmUpload : public TransmissionWindow {
    Q_OBJECT
public:
    // Loads the window (Form_Load): folder discovery, grid header, accountant.
    explicit frmUpload(AppContext& context, QWidget* parent = nullptr);

    static QString caption();
    // Title of the box that refuses a certificate.
    static QString refusalTitle();

    // The rows of GridRefencias, in grid order.
    QList<ReferenceList::Row> referenceRows() const;

    // References accepted by the last send (counted per send), and whether the
    // message about months outside the working years has been shown since load.
    int giaCerta() const { return m_giaCerta; }
    bool msgTrabalho() const { return m_msgTrabalho; }

    void Form_Load();
    void cmdUpload_Click() override;

    // Preparation panel.
    QGroupBox* Preparacao;
    QProgressBar* Progresso;
    QLabel* Label4;
    QLabel* ocorrencia;

protected:
    void file_Click(const QString& folder, const QString& name) override;
    void Winsock1_DataArrival(const QByteArray& reply) override;
    void Winsock1_Error(const QString& description, MultipartUpload::Failure kind) override;
    void Form_Unload() override;

private:
    void discoverBackupFolder();
    void fillReferences(const QList<ReferenceList::Row>& rows);
    void unpackArchive(const QString& path);

    int m_giaCerta = 0;
    bool m_msgTrabalho = false;
};
