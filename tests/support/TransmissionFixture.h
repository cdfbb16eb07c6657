// Test fixture for the two transmission windows: the in-process simulator as
// the server, a temporary application folder with an accountant on file, the
// real main window (its state, its enabled flag, its list refresh), and
// scripted message boxes, certificate picks, pauses and a fixed date.
#pragma once

#include "app/Principal.h"
#include "base/AppPaths.h"
#include "certificates/Certificate.h"
#include "net/SoapTransport.h"
#include "shell/AppContext.h"
#include "shell/WindowRegistry.h"
#include "store/ContadorRepository.h"
#include "store/LocalDb.h"
#include "support/FakeCertificatePicker.h"
#include "support/FakePause.h"
#include "support/FakePrompter.h"
#include "support/FixedClock.h"
#include "support/SimulatorFixture.h"
#include "support/TestCertificates.h"
#include "support/WaitFor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace dadav::test {

class TransmissionFixture : public ::testing::Test {
protected:
    // The accountant on file and the document its certificate carries.
    static QString accountantStored() { return QStringLiteral("123.456.789-09"); }
    static QString accountantDigits() { return QStringLiteral("12345678909"); }
    // The date the tests run on, and the server's date of the last version call.
    static QDateTime today() { return QDateTime(QDate(2014, 3, 15), QTime(10, 0)); }
    static QDateTime serverDate() { return QDateTime(QDate(2014, 3, 10), QTime(9, 0)); }

    void SetUp() override {
        sim.useAsApplicationFolder();
        sim.writeFile(QStringLiteral("info.dip"), QByteArray("1.16.01"));
        context.prompter = &prompter;
        context.soap = &soap;
        context.windows = &registry;
        context.certificates = &picker;
        context.pause = &pause;
        context.clock = &clock;
        registry.registerWindow<Principal>();
        principal = registry.window<Principal>(); // points context.state at its state
        ASSERT_NE(principal, nullptr);
        {
            LocalDb db;
            ContadorRow row;
            row.cont_cpf_cnpj = accountantStored();
            row.cont_razao_nome = QStringLiteral("Fulano de Tal");
            replaceContador(db, row);
        }
        state().setThisCont_cpf_cnpj(accountantStored());
        state().setDataServidor(serverDate());
        state().setAnoTrabalho(QStringLiteral("2013/2014"));
    }

    void TearDown() override {
        registry.unloadAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    ProgramState& state() { return principal->state(); }

    // A certificate of the accountant valid over 2013-2015, or as given.
    static Certificate accountantCertificate(const QString& holder = {}, QDateTime notAfter = {},
                                             CrlPoint crl = CrlPoint::None) {
        TestCertificateOptions options;
        options.commonName =
            holder.isEmpty() ? QStringLiteral("FULANO DE TAL:") + accountantDigits() : holder;
        options.notBefore = QDateTime(QDate(2013, 1, 1), QTime(0, 0));
        options.notAfter =
            notAfter.isValid() ? notAfter : QDateTime(QDate(2015, 12, 31), QTime(0, 0));
        options.crl = crl;
        return parseCertificateDer(makeCertificateDer(options));
    }

    // Writes a file into the folder the user picks files from.
    QString userFile(const QString& name, const QByteArray& bytes) {
        const QString path = userFolder.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
        f.write(bytes);
        return path;
    }

    // Processes events until done() or the limit; false when the limit passed.
    static bool waitFor(const std::function<bool()>& done, int limitMs = 30000) {
        return test::waitFor(done, limitMs);
    }

    // A port on 127.0.0.1 where nobody listens.
    static quint16 closedPort() {
        QTcpServer server;
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        const quint16 port = server.serverPort();
        server.close();
        return port;
    }

    static std::string utf8(const QString& s) { return s.toStdString(); }

    SimulatorFixture sim;
    QTemporaryDir userFolder;
    FakePrompter prompter;
    FakeCertificatePicker picker;
    FakePause pause;
    FixedClock clock{today()};
    SoapTransport soap;
    AppContext context;
    WindowRegistry registry{context};
    Principal* principal = nullptr;
};

} // namespace dadav::test
