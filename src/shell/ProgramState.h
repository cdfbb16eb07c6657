// Program-wide state: the taxpayer in use (IE, razão social, access key), the
// accountant's document kept by the transmit command, the server's date-time
// and the working years. One object, owned by the main window; the main
// window's labels follow it through taxpayerChanged, so clearing the taxpayer
// here clears what the user sees. Windows that need the main window to act
// (show the transmission command, fetch the list again) say so here, so none
// of them has to know the main window.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

class ProgramState : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Taxpayer in use; an empty IE means none.
    const QString& IE() const { return m_ie; }
    const QString& RazaoSocial() const { return m_razaoSocial; }
    const QString& Chave() const { return m_chave; }
    bool hasTaxpayer() const { return !m_ie.isEmpty(); }

    // Takes a taxpayer into use; emits taxpayerChanged when anything differs.
    void setTaxpayer(const QString& ie, const QString& razaoSocial, const QString& chave);
    // Drops the taxpayer in use (all three values become empty).
    void clearTaxpayer() { setTaxpayer({}, {}, {}); }

    // Accountant document as stored in tblContador.cont_cpf_cnpj (with its
    // punctuation), written by the transmit command, read by the upload URLs.
    const QString& thisCont_cpf_cnpj() const { return m_contCpfCnpj; }
    void setThisCont_cpf_cnpj(const QString& value) { m_contCpfCnpj = value; }

    // Server date-time of the last successful version call; invalid before it.
    const QDateTime& DataServidor() const { return m_dataServidor; }
    void setDataServidor(const QDateTime& value) { m_dataServidor = value; }

    // Working years ("2025/2026"); empty before the first version call.
    const QString& anoTrabalho() const { return m_anoTrabalho; }
    void setAnoTrabalho(const QString& value) { m_anoTrabalho = value; }

    // A taxpayer was chosen in the selection window: the main window offers
    // the transmit command and the import list. Listeners run before this
    // returns.
    void announceSelection() { emit taxpayerSelected(); }
    // Asks for the taxpayer's transmissions again (after a selection or an
    // upload). The main window runs the server call before this returns;
    // without a main window nothing happens.
    void requestListRefresh() { emit listRefreshRequested(); }
    // Asks for the batch window with these taxpayers (by IE) added, each
    // waiting for its file (the overview's selected rows). Without a main
    // window nothing happens.
    void requestBatch(const QStringList& ies) { emit batchRequested(ies); }

    // Asks the main window to follow the open sendings now (the overview
    // was refreshed); it asks the taxpayers' lists in the background.
    // Without a main window nothing happens.
    void requestFollowUp() { emit followUpRequested(); }

signals:
    void taxpayerChanged();
    void taxpayerSelected();
    void listRefreshRequested();
    void batchRequested(const QStringList& ies);
    void followUpRequested();

private:
    QString m_ie;
    QString m_razaoSocial;
    QString m_chave;
    QString m_contCpfCnpj;
    QDateTime m_dataServidor;
    QString m_anoTrabalho;
};
