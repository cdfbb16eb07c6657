// The Simples Nacional extract window: the user picks the PGDAS extract or
// receipt (.pdf), confirms with the accountant's certificate and sends the
// file unchanged to the Simples upload script. The server judges the file and
// marks a refusal in its reply; the window shows the matching messages,
// refreshes the main window's list and unloads.
//
// Opened by the main window's transmit command for a Simples Nacional opter;
// the main window stays enabled meanwhile.
#pragma once

#include "transmission/TransmissionWindow.h"

class frmUploadSimples : public TransmissionWindow {
    Q_OBJECT
public:
    // Fixed pauses around the upload, in milliseconds.
    static constexpr int kPauseBeforeSend = 50;
    static constexpr int kPauseAfterSend = 100;
    static constexpr int kPauseBeforeVerdict = 1500;

    // Loads the window (Form_Load): the accountant's document.
    explicit frmUploadSimples(AppContext& context, QWidget* parent = nullptr);

    static QString caption();
    static QString refusalTitle();

    void Form_Load();
    void cmdUpload_Click() override;

protected:
    void file_Click(const QString& folder, const QString& name) override;
    void Winsock1_Connect(const QString& request) override;
    void Winsock1_DataArrival(const QByteArray& reply) override;
    void Winsock1_Error(const QString& description, MultipartUpload::Failure kind) override;
};
