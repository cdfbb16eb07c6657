// The certificate picker over the user's store and the selection dialog.
#include "certificates/StoreCertificatePicker.h"

#include "certificates/CertificateDialog.h"
#include "certificates/CertificateStore.h"
#include "platform/PinPrompter.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>

StoreCertificatePicker::StoreCertificatePicker(CertificateStore& store, Prompter& prompter,
                                               PinPrompter& pins, const Clock& clock,
                                               CertificateSourceList sources,
                                               std::chrono::milliseconds timeout)
    : m_store(store), m_prompter(prompter), m_pins(pins), m_clock(clock),
      m_sources(std::move(sources)), m_timeout(timeout) {}

std::optional<Certificate> StoreCertificatePicker::pick(const QString& title,
                                                        const QString& displayText) {
    const QList<CertificateStore::Entry> entries =
        m_sources.empty() ? m_store.list() : QList<CertificateStore::Entry>();
    CertificateDialog* dialogPtr = nullptr;
    CertificateDialog::Questions questions;
    questions.chooseFile = [&dialogPtr] {
        return QFileDialog::getOpenFileName(
            dialogPtr, QStringLiteral("Importar certificado digital"), QDir::homePath(),
            QStringLiteral(
                "Certificados digitais (*.pfx *.p12 *.cer *.crt *.der *.pem *.p7b *.p7c);;"
                "Todos os arquivos (*)"));
    };
    questions.askPassword = [&dialogPtr](const QString& fileName) -> std::optional<QString> {
        bool ok = false;
        const QString password =
            QInputDialog::getText(dialogPtr, QStringLiteral("Senha do certificado"),
                                  QStringLiteral("Senha do arquivo %1:").arg(fileName),
                                  QLineEdit::Password, QString(), &ok);
        if (!ok)
            return std::nullopt;
        return password;
    };
    questions.askPin = [this](const QString& tokenLabel) {
        return m_pins.askPin(tokenLabel);
    };
    questions.chooseCertificate =
        [&dialogPtr](const QList<Certificate>& certificates) -> std::optional<qsizetype> {
        QStringList items;
        for (const Certificate& c : certificates)
            items.append((c.holderName.isEmpty() ? c.subject : c.holderName) +
                         QStringLiteral(" (válido até ") +
                         c.validTo.toString(QStringLiteral("dd/MM/yyyy")) + QLatin1Char(')'));
        bool ok = false;
        const QString item = QInputDialog::getItem(
            dialogPtr, QStringLiteral("Importar certificado digital"),
            QStringLiteral("O arquivo contém mais de um certificado. Escolha o do titular:"), items,
            0, false, &ok);
        if (!ok)
            return std::nullopt;
        return items.indexOf(item);
    };
    CertificateDialog dialog(m_store, m_prompter, m_clock, std::move(questions), title, displayText,
                             entries, QApplication::activeWindow());
    dialogPtr = &dialog;
    if (!m_sources.empty())
        dialog.startListing(m_sources, m_timeout);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.chosen();
}
