// Real message boxes: title, plain text, buttons and the answer returned; the
// busy indicator's cancel dialog; the proxy credentials dialog.
#include "platform/QtPrompter.h"
#include "platform/DesktopUrlOpener.h"
#include "platform/QtCredentialsPrompter.h"
#include "platform/WaitCursor.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

TEST(QtPrompter, PreparesTheBoxAsAsked) {
    QMessageBox box;
    QtPrompter::prepare(box, Message{QStringLiteral("\r\nLinha <b>1</b>\r\nLinha 2"), QString(),
                                     MsgIcon::None, MsgButtons::Ok});
    EXPECT_EQ(box.windowTitle(), QtPrompter::defaultTitle());
    EXPECT_EQ(box.textFormat(), Qt::PlainText);
    EXPECT_EQ(box.text(), QStringLiteral("\nLinha <b>1</b>\nLinha 2"));
    EXPECT_EQ(box.icon(), QMessageBox::NoIcon);
    EXPECT_EQ(box.standardButtons(), QMessageBox::Ok);

    QtPrompter::prepare(box,
                        Message{QStringLiteral("Deseja excluir?"), QStringLiteral("VAV-UVOD - RJ"),
                                MsgIcon::Warning, MsgButtons::YesNo});
    EXPECT_EQ(box.windowTitle(), QStringLiteral("VAV-UVOD - RJ"));
    EXPECT_EQ(box.icon(), QMessageBox::Warning);
    EXPECT_EQ(box.standardButtons(), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.defaultButton(), box.button(QMessageBox::Yes));

    // A question whose Yes must be chosen on purpose: Enter answers No.
    QtPrompter::prepare(box, Message{QStringLiteral("Transmitir novamente?"), QString(),
                                     MsgIcon::Warning, MsgButtons::YesNoDefaultNo});
    EXPECT_EQ(box.standardButtons(), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.defaultButton(), box.button(QMessageBox::No));
    EXPECT_EQ(box.escapeButton(), box.button(QMessageBox::No));
}

TEST(QtPrompter, ReturnsTheButtonTheUserPressed) {
    for (const auto button : {QMessageBox::Yes, QMessageBox::No}) {
        QString shownText;
        // Runs inside the box's own event loop, once it is up.
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            shownText = box->text();
            box->button(button)->click();
        });
        QtPrompter prompter;
        const MsgAnswer answer = prompter.show(
            Message{QStringLiteral("Confirma?"), QString(), MsgIcon::None, MsgButtons::YesNo});
        EXPECT_EQ(shownText, QStringLiteral("Confirma?"));
        EXPECT_EQ(answer, button == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No);
    }
}

TEST(QtCredentialsPrompter, NamesTheProxyMasksThePasswordAndGivesWhatWasTypedOrNothing) {
    for (const bool accept : {true, false}) {
        QString intro;
        bool masked = false;
        QString cancelText;
        QString offeredUser;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            intro = dialog->findChild<QLabel*>()->text();
            const QList<QLineEdit*> fields = dialog->findChildren<QLineEdit*>();
            ASSERT_EQ(fields.size(), 2);
            offeredUser = fields[0]->text();
            fields[0]->setText(QStringLiteral("joão"));
            fields[1]->setText(QStringLiteral("s3nha ç"));
            masked = fields[1]->echoMode() == QLineEdit::Password;
            auto* buttons = dialog->findChild<QDialogButtonBox*>();
            cancelText = buttons->button(QDialogButtonBox::Cancel)->text();
            buttons->button(accept ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
        });
        QtCredentialsPrompter prompter;
        // After a refusal the user name given before stays in its field.
        const QString before = accept ? QStringLiteral("escritorio") : QString();
        const auto given =
            prompter.askProxyCredentials(QStringLiteral("10.0.0.1:3128"), accept, before);
        EXPECT_EQ(offeredUser, before);
        EXPECT_TRUE(intro.contains(QStringLiteral("10.0.0.1:3128"))) << intro.toStdString();
        EXPECT_EQ(intro.contains(QStringLiteral("recusou")), accept) << intro.toStdString();
        EXPECT_TRUE(masked);
        EXPECT_EQ(cancelText, QStringLiteral("Cancelar"));
        ASSERT_EQ(given.has_value(), accept);
        if (given) {
            EXPECT_EQ(given->user, QStringLiteral("joão"));
            EXPECT_EQ(given->password, QStringLiteral("s3nha ç"));
        }
    }
}

TEST(DesktopUrlOpener, HandsOnlyWebAddressesToTheDesktop) {
    const std::pair<const char*, bool> cases[] = {
        {"http://www.valdoria.example/recibo.php?p=1", true},
        {"HTTP://www.valdoria.example", true},
        {"https://www.valdoria.example/a b", true},
        {"file:///etc/passwd", false},
        {"javascript:alert(1)", false},
        {"www.valdoria.example", false},
        {"http://", false},
        {"", false},
    };
    for (const auto& [url, web] : cases)
        EXPECT_EQ(DesktopUrlOpener::isWebAddress(QString::fromLatin1(url)), web) << url;
    DesktopUrlOpener opener;
    EXPECT_FALSE(opener.open(QStringLiteral("file:///etc/passwd")));
}

TEST(WaitCursor, CancelOfferIsAModalDialogThatCancelsOnceWhicheverWayItIsTaken) {
    struct Way {
        const char* label;
        void (*take)(QProgressDialog&);
    };
    const Way ways[] = {
        {"button",
         [](QProgressDialog& d) {
             d.findChild<QPushButton*>()->click();
         }},
        {"close box",
         [](QProgressDialog& d) {
             d.close();
         }},
    };
    for (const Way& way : ways) {
        WaitCursor busy;
        int cancels = 0;
        busy.begin();
        ASSERT_TRUE(busy.offerCancel([&cancels] { ++cancels; })) << way.label;
        QProgressDialog* dialog = busy.dialog();
        ASSERT_NE(dialog, nullptr) << way.label;
        EXPECT_TRUE(dialog->isVisible()) << way.label;
        EXPECT_EQ(dialog->windowModality(), Qt::ApplicationModal) << way.label;
        EXPECT_EQ(dialog->findChild<QPushButton*>()->text(), QStringLiteral("Cancelar"));
        way.take(*dialog);
        way.take(*dialog);
        EXPECT_EQ(cancels, 1) << way.label;
        busy.end();
        EXPECT_EQ(busy.dialog(), nullptr) << way.label;
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << way.label;
        EXPECT_EQ(cancels, 1) << way.label;
    }
}

TEST(WaitCursor, EndWithdrawsTheOfferWithoutCancelling) {
    WaitCursor busy;
    int cancels = 0;
    busy.begin();
    busy.begin();
    busy.offerCancel([&cancels] { ++cancels; });
    busy.end(); // the begin the offer was made under
    EXPECT_EQ(busy.dialog(), nullptr);
    EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
    busy.end();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(cancels, 0);
}
