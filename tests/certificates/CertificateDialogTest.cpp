// The certificate selection dialog and the store picker, over a store in a
// temporary folder: what the list shows, choosing, cancelling, importing a
// protected file, removing, and how keyboard and screen-reader users meet it.
#include "certificates/CertificateDialog.h"
#include "certificates/CertificateStore.h"
#include "certificates/FolderSource.h"
#include "certificates/Pkcs11Source.h"
#include "certificates/StoreCertificatePicker.h"
#include "support/AccessibilityCheck.h"
#include "support/FakePinPrompter.h"
#include "support/FakePrompter.h"
#include "support/FixedClock.h"
#include "support/TestCertificates.h"
#include "support/TestTokens.h"
#include "support/WaitFor.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>

namespace {

using dadav::test::BlockingSource;
using dadav::test::kSoftHsmModule;
using dadav::test::makeCertificateDer;
using dadav::test::makePkcs12;
using dadav::test::SoftHsm;
using dadav::test::TestCertificateOptions;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const QString kTitle = QStringLiteral("Selecione o Certificado Digital (e-CNPJ)");
const QString kText =
    QStringLiteral("Escolha o certificado e-CNPJ da empresa para receber a chave");

TestCertificateOptions holder(const QString& name) {
    TestCertificateOptions s;
    s.commonName = name;
    s.issuerName = QStringLiteral("AC Teste");
    s.organization = QString();
    s.notBefore = QDateTime(QDate(2025, 1, 2), QTime(3, 4, 5)).toUTC();
    s.notAfter = QDateTime(QDate(2027, 6, 7), QTime(8, 9, 10)).toUTC();
    return s;
}

class CertificateDialogTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    CertificateStore store{tmp.filePath(QStringLiteral("certificados"))};
    FakePrompter prompter;
    // Every date of a test comes from here: the dialog's days left and the
    // validity of the certificates made.
    FixedClock clock{QDateTime(QDate(2026, 3, 10), QTime(9, 0))};
    // Scripted answers of the file and password questions.
    QStringList files;
    std::deque<std::optional<QString>> passwords;
    QStringList passwordFilesAsked;
    std::deque<std::optional<QString>> pins;
    QStringList pinTokensAsked;

    // Runs the event loop until the dialog's listing has answered.
    static void waitForListing(const CertificateDialog& d) {
        ASSERT_TRUE(dadav::test::waitFor([&d] { return !d.listing(); }, 20000))
            << "the listing never answered";
    }

    std::unique_ptr<CertificateDialog> open() {
        CertificateDialog::Questions q;
        q.chooseFile = [this] {
            return files.isEmpty() ? QString() : files.takeFirst();
        };
        q.askPassword = [this](const QString& name) -> std::optional<QString> {
            passwordFilesAsked << name;
            if (passwords.empty()) {
                ADD_FAILURE() << "unexpected password question";
                return std::nullopt;
            }
            auto next = passwords.front();
            passwords.pop_front();
            return next;
        };
        q.askPin = [this](const QString& label) -> std::optional<QString> {
            pinTokensAsked << label;
            if (pins.empty()) {
                ADD_FAILURE() << "unexpected PIN question";
                return std::nullopt;
            }
            auto next = pins.front();
            pins.pop_front();
            return next;
        };
        auto dialog = std::make_unique<CertificateDialog>(store, prompter, clock, q, kTitle, kText,
                                                          store.list());
        dialog->show();
        return dialog;
    }

    QString writeSource(const QString& name, const QByteArray& bytes) {
        QFile f(tmp.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    }

    QStringList holders(const CertificateDialog& d) {
        QStringList out;
        for (int i = 0; i < d.lstCertificados->topLevelItemCount(); ++i)
            out << d.lstCertificados->topLevelItem(i)->text(0);
        return out;
    }
};

TEST_F(CertificateDialogTest, ListsTheStoreAndReturnsTheChosenCertificate) {
    store.importBytes(makeCertificateDer(holder(QStringLiteral("PADARIA:11222333000181"))));
    const QByteArray maria = makeCertificateDer(holder(QStringLiteral("MARIA:12345678909")));
    store.importBytes(maria);

    auto d = open();
    EXPECT_EQ(d->windowTitle(), kTitle);
    EXPECT_EQ(d->lblTexto->text(), kText);
    EXPECT_FALSE(d->lblVazio->isVisible());
    ASSERT_THAT(holders(*d), ElementsAre(QStringLiteral("MARIA:12345678909"),
                                         QStringLiteral("PADARIA:11222333000181")));
    const QTreeWidgetItem* row = d->lstCertificados->topLevelItem(0);
    // The issuer's name; its whole line is the tip.
    EXPECT_EQ(row->text(2), QStringLiteral("AC Teste"));
    EXPECT_EQ(row->toolTip(2), QStringLiteral("CN = AC Teste"));
    EXPECT_EQ(row->text(3), QStringLiteral("07/06/2027 08:09"));
    EXPECT_EQ(row->text(5), QStringLiteral("Pasta do programa"));
    EXPECT_EQ(row->text(6), QStringLiteral("01"));
    EXPECT_EQ(d->lblStatus->text(), QString());

    // The first row starts selected; OK returns it.
    EXPECT_TRUE(d->cmdOK->isEnabled());
    d->cmdOK->click();
    EXPECT_EQ(d->result(), QDialog::Accepted);
    ASSERT_TRUE(d->chosen().has_value());
    EXPECT_EQ(d->chosen()->der, maria);
    prompter.expectNoMessages();
}

// One holder with certificates for the same dates (a renewed file, say): the
// serial number tells the rows apart, a long one by its end with the whole
// as tip; at the dialog's opening size every column is in sight.
TEST_F(CertificateDialogTest, SameHolderAndDatesAreToldApartBySerialNumber) {
    TestCertificateOptions first =
        holder(QStringLiteral("PADARIA SAO JOAO COMERCIO DE ALIMENTOS LTDA:11222333000181"));
    TestCertificateOptions second = first, third = first;
    second.serial = 0x7A3B5C;
    third.serial = 0x1234567890ABCDEF;
    store.importBytes(makeCertificateDer(first));
    store.importBytes(makeCertificateDer(second));
    store.importBytes(makeCertificateDer(third));

    auto d = open();
    ASSERT_EQ(d->lstCertificados->topLevelItemCount(), 3);
    EXPECT_EQ(d->lstCertificados->headerItem()->text(6), QStringLiteral("Número de série"));
    QStringList serials;
    for (int i = 0; i < 3; ++i)
        serials << d->lstCertificados->topLevelItem(i)->text(6) + QLatin1Char('|') +
                       d->lstCertificados->topLevelItem(i)->toolTip(6);
    EXPECT_THAT(serials, ::testing::UnorderedElementsAre(
                             QStringLiteral("01|01"), QStringLiteral("7A3B5C|7A3B5C"),
                             QStringLiteral("…7890ABCDEF|1234567890ABCDEF")));

    ASSERT_TRUE(
        dadav::test::waitFor([&] { return d->lstCertificados->viewport()->width() > 500; }));
    const QTreeWidget* list = d->lstCertificados;
    const QAbstractItemView* view = list;
    const QHeaderView* header = list->header();
    for (int c = 0; c < list->columnCount(); ++c) {
        EXPECT_LE(header->sectionViewportPosition(c) + header->sectionSize(c),
                  list->viewport()->width())
            << list->headerItem()->text(c).toStdString();
        // Only the holder and the issuer give up width here; the others
        // show their whole text.
        if (c != 0 && c != 2) {
            EXPECT_GE(header->sectionSize(c), view->sizeHintForColumn(c))
                << list->headerItem()->text(c).toStdString();
        }
    }
}

TEST_F(CertificateDialogTest, ImportIsConfirmedInOneLineAlsoWhenAlreadyListed) {
    const QString cer = writeSource(QStringLiteral("maria.cer"),
                                    makeCertificateDer(holder(QStringLiteral("MARIA"))));
    auto d = open();
    files << cer << cer;
    d->cmdImportar->click();
    EXPECT_EQ(d->lblStatus->text(), QStringLiteral("Certificado de MARIA importado."));
    EXPECT_TRUE(d->lblStatus->isVisible());
    d->cmdImportar->click();
    EXPECT_EQ(d->lblStatus->text(), QStringLiteral("O certificado de MARIA já estava na lista."));
    EXPECT_THAT(holders(*d), ElementsAre(QStringLiteral("MARIA")));
    prompter.expectNoMessages();

    // A refused file leaves no confirmation behind.
    files << writeSource(QStringLiteral("nota.txt"), "texto");
    d->cmdImportar->click();
    EXPECT_EQ(d->lblStatus->text(), QString());
    EXPECT_EQ(prompter.texts(),
              QStringList{QStringLiteral("O arquivo não contém um certificado digital válido.")});
}

TEST_F(CertificateDialogTest, EmptyStoreOffersImportAndCancelReturnsNothing) {
    auto d = open();
    EXPECT_TRUE(d->lblVazio->isVisible());
    EXPECT_FALSE(d->cmdOK->isEnabled());
    EXPECT_FALSE(d->cmdRemover->isEnabled());
    d->chooseSelected(); // nothing to choose: stays open
    EXPECT_TRUE(d->isVisible());
    d->cmdCancelar->click();
    EXPECT_EQ(d->result(), QDialog::Rejected);
    EXPECT_FALSE(d->chosen().has_value());
    prompter.expectNoMessages();
}

TEST_F(CertificateDialogTest, ImportAsksThePasswordAgainUntilItIsRight) {
    store.importBytes(makeCertificateDer(holder(QStringLiteral("ZULU"))));
    QByteArray der;
    const QString pfx = writeSource(QStringLiteral("empresa.pfx"),
                                    makePkcs12(holder(QStringLiteral("PADARIA:11222333000181")),
                                               QStringLiteral("certa"), &der));
    auto d = open();

    files << pfx;
    passwords = {QStringLiteral("errada"), QStringLiteral("certa")};
    d->cmdImportar->click();

    EXPECT_THAT(passwordFilesAsked,
                ElementsAre(QStringLiteral("empresa.pfx"), QStringLiteral("empresa.pfx")));
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_EQ(prompter.messages()[0],
              (Message{QStringLiteral("Senha incorreta para o arquivo do certificado."),
                       QStringLiteral("VAV-UVOD - RJ"), MsgIcon::Critical, MsgButtons::Ok}));
    EXPECT_THAT(holders(*d),
                ElementsAre(QStringLiteral("PADARIA:11222333000181"), QStringLiteral("ZULU")));
    // The imported certificate is the selected one.
    d->cmdOK->click();
    ASSERT_TRUE(d->chosen().has_value());
    EXPECT_EQ(d->chosen()->der, der);
}

TEST_F(CertificateDialogTest, ImportCancelledOrRefused) {
    const QString pfx =
        writeSource(QStringLiteral("empresa.p12"),
                    makePkcs12(holder(QStringLiteral("PADARIA")), QStringLiteral("x")));
    const QString text = writeSource(QStringLiteral("nota.txt"), "texto");
    auto d = open();

    d->cmdImportar->click(); // file question cancelled
    files << pfx;
    passwords = {std::nullopt}; // password question cancelled
    d->cmdImportar->click();
    prompter.expectNoMessages();

    files << text;
    d->cmdImportar->click();
    EXPECT_EQ(prompter.texts(),
              QStringList{QStringLiteral("O arquivo não contém um certificado digital válido.")});
    EXPECT_TRUE(store.list().isEmpty());
    EXPECT_EQ(d->lstCertificados->topLevelItemCount(), 0);
}

TEST_F(CertificateDialogTest, RemoveAsksFirst) {
    store.importBytes(makeCertificateDer(holder(QStringLiteral("MARIA"))));
    store.importBytes(makeCertificateDer(holder(QStringLiteral("PADARIA"))));
    auto d = open();
    const QString question = QStringLiteral(
        "Deseja remover o certificado de MARIA da lista? O arquivo original do certificado não "
        "é alterado.");

    prompter.answerNext(MsgAnswer::No, question);
    d->cmdRemover->click();
    EXPECT_EQ(store.list().size(), 2);

    prompter.answerNext(MsgAnswer::Yes, question);
    d->cmdRemover->click();
    EXPECT_THAT(holders(*d), ElementsAre(QStringLiteral("PADARIA")));
    EXPECT_EQ(store.list().size(), 1);
}

// Days left, their marking and the document column; an expired certificate
// stays selectable (the server's date decides).
TEST_F(CertificateDialogTest, MarksCertificatesNearOrPastTheirEnd) {
    struct Case {
        const char* holder;
        int daysToEnd;
        QString altName;
        QString document;
        QString daysText;
        bool coloured;
    } cases[] = {
        {"LONGE", 200, QStringLiteral("otherName:2.16.76.1.3.3;PRINTABLESTRING:11222333000181"),
         QStringLiteral("11.222.333/0001-81"), QStringLiteral("200 dias"), false},
        {"PERTO", 10, QStringLiteral("otherName:2.16.76.1.3.1;PRINTABLESTRING:0101198012345678909"),
         QStringLiteral("123.456.789-09"), QStringLiteral("10 dias, vence em breve"), true},
        {"LIMITE", 30, QString(), QString(), QStringLiteral("30 dias, vence em breve"), true},
        {"FORA", 31, QString(), QString(), QStringLiteral("31 dias"), false},
        {"VENCIDO", -5, QString(), QString(), QStringLiteral("expirado"), true},
    };
    for (const Case& c : cases) {
        TestCertificateOptions o = holder(QString::fromLatin1(c.holder));
        o.subjectAltName = c.altName;
        o.notBefore = clock.now().addDays(-400).toUTC();
        o.notAfter = QDateTime(clock.today().addDays(c.daysToEnd), QTime(12, 0)).toUTC();
        store.importBytes(makeCertificateDer(o));
    }
    auto d = open();
    for (const Case& c : cases) {
        const auto rows =
            d->lstCertificados->findItems(QString::fromLatin1(c.holder), Qt::MatchExactly);
        ASSERT_EQ(rows.size(), 1) << c.holder;
        EXPECT_EQ(rows[0]->text(1), c.document) << c.holder;
        EXPECT_EQ(rows[0]->text(4), c.daysText) << c.holder;
        EXPECT_EQ(rows[0]->foreground(0).color() != d->lstCertificados->palette().text().color(),
                  c.coloured)
            << c.holder;
    }
    // Type-to-find by holder, then by document digits typed with or without
    // punctuation; sorting by days left puts the expired one first.
    d->txtProcurar->setText(QStringLiteral("ven"));
    EXPECT_EQ(d->lstCertificados->currentItem()->text(0), QStringLiteral("VENCIDO"));
    d->cmdOK->click();
    ASSERT_TRUE(d->chosen().has_value());
    EXPECT_EQ(d->chosen()->holderName, QStringLiteral("VENCIDO"));

    auto e = open();
    e->txtProcurar->setText(QStringLiteral("123.456"));
    QStringList shown;
    for (int i = 0; i < e->lstCertificados->topLevelItemCount(); ++i)
        if (!e->lstCertificados->topLevelItem(i)->isHidden())
            shown << e->lstCertificados->topLevelItem(i)->text(0);
    EXPECT_THAT(shown, ElementsAre(QStringLiteral("PERTO")));
    e->txtProcurar->setText(QStringLiteral("nenhum"));
    EXPECT_FALSE(e->cmdOK->isEnabled());
    e->txtProcurar->clear();
    e->lstCertificados->sortByColumn(4, Qt::AscendingOrder);
    EXPECT_EQ(holders(*e), (QStringList{QStringLiteral("VENCIDO"), QStringLiteral("PERTO"),
                                        QStringLiteral("LIMITE"), QStringLiteral("FORA"),
                                        QStringLiteral("LONGE")}));
}

// Tokens, a module that fails to load and one that hangs: the dialog says it
// is reading and stays usable, names the module that did not answer, then
// lists the token beside the own folder and names the module that failed. A
// certificate both on the token and in the own folder is one row naming both.
// A token that needs its PIN is entered from the dialog; an empty token that
// needs none is not offered.
TEST_F(CertificateDialogTest, ListsTokensAndNamesTheSourceThatHangs) {
    SoftHsm hsm(tmp.filePath(QStringLiteral("hsm")));
    hsm.initToken(QStringLiteral("e-CNPJ"), QStringLiteral("123456"));
    hsm.addCertificate(QStringLiteral("e-CNPJ"), QStringLiteral("123456"),
                       makeCertificateDer(holder(QStringLiteral("TOKEN PUBLICO"))), false);
    const QByteArray twice = makeCertificateDer(holder(QStringLiteral("DUPLICADO")));
    hsm.addCertificate(QStringLiteral("e-CNPJ"), QStringLiteral("123456"), twice, false);
    store.importBytes(twice);
    hsm.initToken(QStringLiteral("cartao"), QStringLiteral("654321"));
    const QByteArray hidden = makeCertificateDer(holder(QStringLiteral("CARTAO PRIVADO")));
    hsm.addCertificate(QStringLiteral("cartao"), QStringLiteral("654321"), hidden, true);
    store.importBytes(makeCertificateDer(holder(QStringLiteral("ARQUIVO"))));
    auto blocking = std::make_shared<BlockingSource>();
    const QString broken = writeSource(QStringLiteral("libquebrado.so"), "not a module");

    auto d = open();
    // The stand-in for a hung module answers nothing, so its short time-out
    // is all it gets; the dialog stays usable meanwhile.
    d->startListing({blocking}, std::chrono::milliseconds(200));
    EXPECT_TRUE(d->lblLendo->isVisible());
    EXPECT_EQ(d->lblLendo->text(), QStringLiteral("Lendo certificados..."));
    EXPECT_TRUE(d->cmdCancelar->isEnabled());
    waitForListing(*d);
    blocking->release();
    EXPECT_FALSE(d->lblLendo->isVisible());
    EXPECT_EQ(d->lblFalhas->text(), QStringLiteral("Módulo travado: não respondeu em 1 s."));

    // Real modules get all the time they may need.
    d->startListing({std::make_shared<FolderSource>(store.folder()),
                     std::make_shared<Pkcs11Source>(QStringList{
                         broken, kSoftHsmModule, QStringLiteral(DADAV_EMPTY_TOKEN_MODULE)})},
                    std::chrono::seconds(60));
    waitForListing(*d);
    EXPECT_EQ(holders(*d), (QStringList{QStringLiteral("ARQUIVO"), QStringLiteral("DUPLICADO"),
                                        QStringLiteral("TOKEN PUBLICO")}));
    EXPECT_EQ(d->lstCertificados->topLevelItem(1)->text(5),
              QStringLiteral("Pasta do programa, Token e-CNPJ (libsofthsm2.so)"));
    EXPECT_TRUE(d->lblFalhas->isVisible());
    EXPECT_EQ(
        d->lblFalhas->text(),
        QStringLiteral("Módulo PKCS#11 libquebrado.so: não foi possível carregar o arquivo ") +
            broken + QStringLiteral("."));
    ASSERT_TRUE(d->cmdEntrar->isVisible());

    // Removing the own folder's copy leaves the token's.
    d->lstCertificados->setCurrentItem(d->lstCertificados->topLevelItem(1));
    prompter.answerNext(MsgAnswer::Yes);
    d->cmdRemover->click();
    EXPECT_EQ(holders(*d), (QStringList{QStringLiteral("ARQUIVO"), QStringLiteral("DUPLICADO"),
                                        QStringLiteral("TOKEN PUBLICO")}));
    EXPECT_EQ(d->lstCertificados->topLevelItem(1)->text(5),
              QStringLiteral("Token e-CNPJ (libsofthsm2.so)"));

    // The token row is chosen without any import; it cannot be removed.
    d->lstCertificados->setCurrentItem(d->lstCertificados->topLevelItem(2));
    EXPECT_FALSE(d->cmdRemover->isEnabled());

    pins = {QStringLiteral("000000"), QStringLiteral("654321")};
    d->cmdEntrar->click();
    EXPECT_TRUE(d->lblLendo->isVisible());
    waitForListing(*d);
    EXPECT_EQ(prompter.texts(),
              (QStringList{QStringLiteral("Deseja remover o certificado de DUPLICADO da lista? O "
                                          "arquivo original do certificado não é alterado."),
                           QStringLiteral("PIN incorreto para o token cartao.")}));
    d->cmdEntrar->click();
    waitForListing(*d);
    // Only the card was offered: the empty token needs no PIN.
    EXPECT_EQ(pinTokensAsked, (QStringList{QStringLiteral("cartao"), QStringLiteral("cartao")}));
    EXPECT_FALSE(d->cmdEntrar->isVisible());
    EXPECT_EQ(d->lstCertificados->currentItem()->text(0), QStringLiteral("CARTAO PRIVADO"));
    EXPECT_EQ(d->lstCertificados->currentItem()->text(5),
              QStringLiteral("Token cartao (libsofthsm2.so)"));
    d->cmdOK->click();
    ASSERT_TRUE(d->chosen().has_value());
    EXPECT_EQ(d->chosen()->der, hidden);
}

TEST_F(CertificateDialogTest, KeyboardAndScreenReader) {
    store.importBytes(makeCertificateDer(holder(QStringLiteral("MARIA"))));
    auto d = open();
    EXPECT_THAT(AccessibilityCheck::unnamedControls(d.get()), IsEmpty());
    EXPECT_THAT(AccessibilityCheck::unreachableControls(d.get()), IsEmpty());
    EXPECT_THAT(AccessibilityCheck::tabOrder(d.get()),
                ElementsAre(QStringLiteral("txtProcurar"), QStringLiteral("lstCertificados"),
                            QStringLiteral("cmdImportar"), QStringLiteral("cmdRemover"),
                            QStringLiteral("cmdOK"), QStringLiteral("cmdCancelar")));
    EXPECT_TRUE(d->cmdOK->isDefault());
}

// The picker runs the same dialog modally; the modal dialog is answered as
// soon as its event loop runs.
TEST_F(CertificateDialogTest, PickerReturnsTheChoiceOrNothing) {
    const QByteArray der = makeCertificateDer(holder(QStringLiteral("MARIA")));
    store.importBytes(der);
    dadav::test::FakePinPrompter pinQuestion;
    StoreCertificatePicker picker(store, prompter, pinQuestion, clock);

    auto answer = [](const char* button) {
        QTimer::singleShot(0, [button] {
            auto* dialog = qobject_cast<CertificateDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            dialog->findChild<QPushButton*>(QString::fromLatin1(button))->click();
        });
    };
    answer("cmdOK");
    const auto chosen = picker.pick(kTitle, kText);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->der, der);

    answer("cmdCancelar");
    EXPECT_FALSE(picker.pick(kTitle, kText).has_value());
    prompter.expectNoMessages();
}

// A file with two certificates that read alike (one holder, dates and
// serial, two issuers): the one imported is the row the user picked.
TEST_F(CertificateDialogTest, TheCertificateChosenFromAFileIsTheRowPicked) {
    TestCertificateOptions first = holder(QStringLiteral("PADARIA:11222333000181"));
    TestCertificateOptions second = first;
    second.issuerName = QStringLiteral("AC Outra");
    const QList<Certificate> both{parseCertificateDer(makeCertificateDer(first)),
                                  parseCertificateDer(makeCertificateDer(second))};
    for (int row : {1, 0}) {
        QTimer::singleShot(0, [row] {
            auto* question = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(question, nullptr);
            question->findChild<QComboBox*>()->setCurrentIndex(row);
            question->accept();
        });
        EXPECT_EQ(StoreCertificatePicker::askWhichCertificate(nullptr, both), row);
    }
}

} // namespace
