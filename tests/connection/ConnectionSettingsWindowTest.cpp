// The connection window: it shows the settings in use, writes the chosen mode
// (and a manual proxy's host and port) into section "proxy" only, and refuses
// an incomplete manual proxy without writing.
#include "connection/ConnectionSettingsWindow.h"

#include "net/ProxySettings.h"
#include "shell/AppContext.h"
#include "support/AppFolderTest.h"
#include "support/FakePrompter.h"

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

namespace {

const QByteArray kServer = "[servidor]\r\nhost=s\xE3o.gov\r\nport=8080\r\n"; // Latin-1

class ConnectionSettingsWindowTest : public AppFolderTest {
protected:
    void SetUp() override {
        AppFolderTest::SetUp();
        context.prompter = &prompter;
    }
    QByteArray iniBytes() const {
        QFile f(AppPaths::IniPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    FakePrompter prompter;
    AppContext context;
};

TEST_F(ConnectionSettingsWindowTest, ShowsTheSettingsInUseAndWritesOnlyItsSection) {
    writeIni(kServer + "[proxy]\r\nmodo=manual\r\nhost=px.local\r\nporta=3128\r\n");
    struct Case {
        const char* option;
        const char* host;
        const char* port;
        QByteArray section;
    };
    const Case cases[] = {
        {"optNenhum", "px.local", "3128",
         "[proxy]\r\nmodo=nenhum\r\nhost=px.local\r\nporta=3128\r\n"},
        {"optSistema", "", "", "[proxy]\r\nmodo=sistema\r\nhost=\r\nporta=\r\n"},
        {"optManual", "10.1.2.3", "8080",
         "[proxy]\r\nmodo=manual\r\nhost=10.1.2.3\r\nporta=8080\r\n"},
    };
    QString shownHost = QStringLiteral("px.local");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        QPointer<ConnectionSettingsWindow> w = new ConnectionSettingsWindow(context);
        EXPECT_EQ(w->txtHost->text(), shownHost);
        w->findChild<QRadioButton*>(QString::fromLatin1(c.option))->click();
        EXPECT_EQ(w->txtHost->isEnabled(), w->optManual->isChecked());
        w->txtHost->setText(QString::fromLatin1(c.host));
        w->txtPorta->setText(QString::fromLatin1(c.port));
        w->cmdOK->click();
        EXPECT_EQ(iniBytes(), kServer + c.section);
        EXPECT_TRUE(prompter.messages().isEmpty());
        if (w) {
            EXPECT_FALSE(w->isVisible());
        }
        delete w;
        shownHost = QString::fromLatin1(c.host);
    }
}

TEST_F(ConnectionSettingsWindowTest, AnIncompleteManualProxyIsRefusedWithoutWriting) {
    writeIni(kServer);
    const std::pair<const char*, const char*> cases[] = {
        {"", "3128"}, {"px.local", ""}, {"http://px.local", "3128"}, {"px.local:3128", "3128"}};
    for (const auto& [host, port] : cases) {
        SCOPED_TRACE(host);
        ConnectionSettingsWindow w(context);
        w.optManual->click();
        w.txtHost->setText(QString::fromLatin1(host));
        w.txtPorta->setText(QString::fromLatin1(port));
        w.cmdOK->click();
        ASSERT_EQ(prompter.messages().size(), 1);
        EXPECT_EQ(prompter.messages()[0].icon, MsgIcon::Warning);
        EXPECT_TRUE(prompter.messages()[0].text.contains(QStringLiteral("porta")));
        prompter.clearMessages();
        EXPECT_EQ(iniBytes(), kServer);
    }
}

} // namespace
