// The certificate picker over the user's store and the selection dialog.
#include "certificates/StoreCertificatePicker.h"

#include "certificates/CertificateDialog.h"
#include "certificates/CertificateStore.h"
#include "platform/PinPrompter.h"

#include <QApplication>
#include <QComboBox>
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

std::optional<qsizetype>
StoreCertificatePicker::askWhichCertificate(QWidget* parent,
                                            const QList<Certificate>& certificates) {
    QStringList items;
    for (const Certificate& c : certificates)
        items.append((c.holderName.isEmpty() ? c.subject : c.holderName) +
                     QStringLiteral(" (válido até ") +
                     c.validTo.toString(QStringLiteral("dd/MM/yyyy")) + QStringLiteral(", série ") +
                     c.serialNumber + QLatin1Char(')'));
    QInputDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Importar certificado digital"));
    dialog.setLabelText(
        QStringLiteral("O arquivo contém mais de um certificado. Escolha o do titular:"));
    dialog.setComboBoxItems(items);
    dialog.setComboBoxEditable(false);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    // Two certificates of one holder and date read alike: the choice is the
    // row the user picked, never the first row with its text.
    const auto* rows = dialog.findChild<QComboBox*>();
    if (!rows || rows->currentIndex() < 0 || rows->currentIndex() >= items.size())
        return std::nullopt;
    return rows->currentIndex();
}

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
        return StoreCertificatePicker::askWhichCertificate(dialogPtr, certificates);
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
