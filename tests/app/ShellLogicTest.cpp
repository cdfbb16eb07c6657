// Rules of the application shell that need no window: the terminal answers,
// where the program keeps its files, the browser address, the transmission
// window's caption, grid widths, the transmit command's choice and the
// program-wide state.
#include "app/ApplicationFolder.h"
#include "app/CommandLine.h"
#include "app/PrincipalLogic.h"
#include "archive/SentArchive.h"
#include "base/AppPaths.h"
#include "base/PrivateFiles.h"
#include "base/RuntimeError.h"
#include "platform/Twips.h"
#include "shell/ProgramState.h"
#include "store/ContadorRepository.h"
#include "store/ContribuinteRepository.h"
#include "store/DbError.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

TEST(CommandLine, AnswersVersionAndHelpAndLeavesEverythingElseToTheWindows) {
    struct Case {
        const char* name;
        QStringList arguments;
        bool answered;
        QString startsWith;
    };
    const QString version = QStringLiteral("dadav " DADAV_PROJECT_VERSION "\n");
    const Case cases[] = {
        {"no arguments open the windows", {}, false, QString()},
        {"--version", {QStringLiteral("--version")}, true, version},
        {"-v", {QStringLiteral("-v")}, true, version},
        {"--help", {QStringLiteral("--help")}, true, QStringLiteral("Uso: dadav [opções]\n")},
        {"-h", {QStringLiteral("-h")}, true, QStringLiteral("Uso: dadav [opções]\n")},
        {"Qt's own options pass",
         {QStringLiteral("-platform"), QStringLiteral("xcb")},
         false,
         QString()},
        {"after a Qt option",
         {QStringLiteral("-style"), QStringLiteral("Fusion"), QStringLiteral("--version")},
         true,
         version},
        {"the first answer wins",
         {QStringLiteral("--help"), QStringLiteral("--version")},
         true,
         QStringLiteral("Uso: ")},
        {"no prefix match", {QStringLiteral("--versions")}, false, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CommandLine::TerminalAnswer a = CommandLine::answer(c.arguments);
        EXPECT_EQ(a.answered, c.answered);
        EXPECT_EQ(a.exitCode, 0);
        EXPECT_TRUE(a.text.startsWith(c.startsWith)) << a.text.toStdString();
        if (c.answered)
            EXPECT_TRUE(a.text.endsWith(QLatin1Char('\n')));
        else
            EXPECT_EQ(a.text, QString());
    }
    const QString help = CommandLine::answer({QStringLiteral("-h")}).text;
    EXPECT_TRUE(help.contains(QStringLiteral("--version")) &&
                help.contains(QStringLiteral("--help")) &&
                help.contains(QStringLiteral("--copiar-banco-para-servidor")));
    const QString copy = QStringLiteral("--copiar-banco-para-servidor");
    EXPECT_TRUE(CommandLine::answer({QStringLiteral("-style"), QStringLiteral("Fusion"), copy})
                    .copyDatabaseToServer);
    EXPECT_FALSE(CommandLine::answer({QStringLiteral("--help"), copy}).copyDatabaseToServer);
    EXPECT_FALSE(CommandLine::answer({copy + QLatin1Char('s')}).copyDatabaseToServer);
    EXPECT_FALSE(CommandLine::answer({copy}).answered);
}

// Permission bits of a file or folder.
unsigned modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0u;
}

class ApplicationFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        program = root.filePath(QStringLiteral("bin"));
        installed = root.filePath(QStringLiteral("share/dadav"));
        user = root.filePath(QStringLiteral("home/.local/share/dadav"));
        QDir().mkpath(program);
    }
    ApplicationFolder::Inputs inputs(bool writable) const {
        return {program, writable, installed, user};
    }
    void install() {
        writeFile(installed + QStringLiteral("/dadav.ini"), "[servidor]\nhost=gia\nport=80\n");
        writeFile(installed + QStringLiteral("/info.dip"), "1.16.01");
    }

    QTemporaryDir root;
    QString program, installed, user;
};

} // namespace

TEST_F(ApplicationFolderTest, PortableCopyKeepsEverythingBesideTheProgram) {
    install(); // an installation elsewhere does not matter
    writeFile(program + QStringLiteral("/dadav.ini"), "[servidor]\nhost=local\n");
    const unsigned given = modeOf(program);
    const auto choice = ApplicationFolder::choose(inputs(true));
    EXPECT_EQ(choice.folder, QDir::cleanPath(program));
    EXPECT_TRUE(choice.portable);
    EXPECT_FALSE(QFileInfo::exists(user)) << "the user's folder is left alone";
    EXPECT_EQ(modeOf(program), given) << "its owner's permissions stay";
}

TEST_F(ApplicationFolderTest, BareWritableFolderWithoutInstallationIsUsedAsItIs) {
    const auto choice = ApplicationFolder::choose(inputs(true));
    EXPECT_EQ(choice.folder, QDir::cleanPath(program));
    EXPECT_FALSE(QFileInfo::exists(user));
}

TEST_F(ApplicationFolderTest, InstalledCopySeedsTheUserFolderOnFirstStart) {
    install();
    for (bool writable : {false, true}) { // /usr/bin for root is writable, still installed
        const auto choice = ApplicationFolder::choose(inputs(writable));
        EXPECT_EQ(choice.folder, QDir::cleanPath(user));
        EXPECT_FALSE(choice.portable);
        EXPECT_EQ(readFile(user + QStringLiteral("/dadav.ini")), "[servidor]\nhost=gia\nport=80\n");
        EXPECT_EQ(readFile(user + QStringLiteral("/info.dip")), "1.16.01");
    }
}

TEST_F(ApplicationFolderTest, UserSettingsSurviveAndVersionTextFollowsTheInstallation) {
    install();
    writeFile(user + QStringLiteral("/dadav.ini"), "[servidor]\nhost=edited\n");
    writeFile(user + QStringLiteral("/info.dip"), "1.15.00");
    writeFile(user + QStringLiteral("/dadav.mdb"), "data");
    ::chmod(QFile::encodeName(user).constData(), 0755); // as earlier versions left it
    ApplicationFolder::choose(inputs(false));
    EXPECT_EQ(modeOf(user), 0700u) << "the user's data folder is the user's alone";
    EXPECT_EQ(modeOf(user + QStringLiteral("/info.dip")), 0600u);
    EXPECT_EQ(readFile(user + QStringLiteral("/dadav.ini")), "[servidor]\nhost=edited\n");
    EXPECT_EQ(readFile(user + QStringLiteral("/info.dip")), "1.16.01") << "an upgrade is current";
    EXPECT_EQ(readFile(user + QStringLiteral("/dadav.mdb")), "data");
}

// What the archive keeps in the user's data folder (copies, records,
// receipts) is the user's alone; in a portable folder it keeps the umask's.
TEST_F(ApplicationFolderTest, TheArchiveInTheUsersDataFolderIsTheUsersAlone) {
    install();
    writeFile(root.filePath(QStringLiteral("sent.zip")), "PK bytes");
    const std::optional<SentArchive::Digest> digest =
        SentArchive::digestFile(root.filePath(QStringLiteral("sent.zip")));
    ASSERT_TRUE(digest);
    const QDateTime when(QDate(2026, 12, 7), QTime(10, 0));
    SentArchive::Record record{when,
                               QStringLiteral("86123452"),
                               SentArchive::kDeclaration,
                               QStringLiteral("11_2026"),
                               QStringLiteral("sent.zip"),
                               digest->sha256,
                               digest->size,
                               SentArchive::kAccepted,
                               QStringLiteral("ok"),
                               true,
                               {},
                               {}};
    for (const bool portable : {false, true}) {
        SCOPED_TRACE(portable ? "portable" : "the user's data folder");
        const auto choice = ApplicationFolder::choose(inputs(false));
        AppPaths::setApplicationFolder(portable ? program : choice.folder);
        PrivateFiles::setApplicationFolderPrivate(!portable);
        ASSERT_EQ(SentArchive::store(record, root.filePath(QStringLiteral("sent.zip"))), QString());
        QString error;
        const QString receipt = SentArchive::storeReceiptXml(record.ie, QStringLiteral("123"),
                                                             QStringLiteral("<r/>"), when, &error);
        PrivateFiles::setApplicationFolderPrivate(false);
        const SentArchive::Record kept = SentArchive::list(record.ie).value(0);
        const mode_t mask = ::umask(0);
        ::umask(mask);
        const unsigned file = portable ? 0666u & ~mask : 0600u;
        EXPECT_EQ(modeOf(SentArchive::monthFolder(record.ie, when)),
                  portable ? 0777u & ~mask : 0700u);
        EXPECT_EQ(modeOf(kept.archivedFile), file);
        EXPECT_EQ(modeOf(kept.recordFile), file);
        EXPECT_EQ(modeOf(receipt), file);
    }
}

TEST_F(ApplicationFolderTest, ReadOnlyPortableCopySeedsTheUserFolderFromItsOwnFiles) {
    writeFile(program + QStringLiteral("/dadav.ini"), "[servidor]\nhost=cd\n");
    writeFile(program + QStringLiteral("/info.dip"), "1.16.01");
    const auto choice = ApplicationFolder::choose(inputs(false));
    EXPECT_EQ(choice.folder, QDir::cleanPath(user));
    EXPECT_EQ(readFile(user + QStringLiteral("/dadav.ini")), "[servidor]\nhost=cd\n");
    EXPECT_EQ(readFile(user + QStringLiteral("/info.dip")), "1.16.01");
}

TEST_F(ApplicationFolderTest, UserFolderThatCannotBeCreatedIsReported) {
    install();
    writeFile(root.filePath(QStringLiteral("home/.local")), "a file where a folder should be");
    EXPECT_THROW(ApplicationFolder::choose(inputs(false)), RuntimeError);
}

TEST_F(ApplicationFolderTest, WriteProbeCreatesAndRemovesAFile) {
    EXPECT_TRUE(ApplicationFolder::canCreateFileIn(program));
    EXPECT_TRUE(QDir(program).entryList(QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_FALSE(ApplicationFolder::canCreateFileIn(root.filePath(QStringLiteral("absent"))));
}

TEST(PrincipalLogic, BrowserUrlPutsSchemeOnlyWhereMissing) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"www.valdoria.rj.gov.br", "http://www.valdoria.rj.gov.br"},
        {"HTTP://X.Y/a?b=1", "HTTP://X.Y/a?b=1"},
        {"https://x.y", "https://x.y"},
        {"httpd.example/page", "httpd.example/page"}, // begins with "http": left as it is
        {"", "http://"},
        {" http://x", "http:// http://x"}, // compared at position 1, no trimming
    };
    for (const auto& c : cases)
        EXPECT_EQ(PrincipalLogic::BrowserUrl(QString::fromLatin1(c.in)), QString::fromLatin1(c.out))
            << c.in;
}

TEST(PrincipalLogic, CaptionGetsTheWorkingYearsOnce) {
    const QString caption = QStringLiteral("Transmissão");
    const QString once = PrincipalLogic::CaptionWithYear(caption, QStringLiteral("2025/2026"));
    EXPECT_EQ(once, QStringLiteral("Transmissão - Ano trabalho: 2025/2026"));
    EXPECT_EQ(PrincipalLogic::CaptionWithYear(once, QStringLiteral("2025/2026")), once);
    EXPECT_EQ(PrincipalLogic::CaptionWithYear(caption, QString()), caption);
    EXPECT_EQ(PrincipalLogic::CaptionWithYear(QStringLiteral("Envio 2026"), QStringLiteral("2026")),
              QStringLiteral("Envio 2026"));
}

TEST(PrincipalLogic, TwipsBecomePixelsAtFifteenPerPixelAt96Dpi) {
    const struct {
        int twips;
        double dpi;
        int px;
    } cases[] = {{1500, 96, 100}, {2500, 96, 167},  {1700, 96, 113},
                 {0, 96, 0},      {1500, 144, 150}, {2500, 192, 333}};
    for (const auto& c : cases)
        EXPECT_EQ(Twips::TwipsToPixels(c.twips, c.dpi), c.px) << c.twips << "@" << c.dpi;
}

namespace {

class TransmitPlanTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString dbPath() const { return dir.filePath(QStringLiteral("dadav.mdb")); }
    static ContadorRow accountant() {
        ContadorRow row;
        row.cont_cpf_cnpj = QStringLiteral("11.222.333/0001-81");
        row.cont_razao_nome = QStringLiteral("Escritório Contábil");
        return row;
    }
    static ContribuinteRow taxpayer(const QString& ie, std::optional<bool> simples) {
        ContribuinteRow row;
        row.IE = ie;
        row.RazaoSocial = QStringLiteral("Empresa ") + ie;
        row.Chave = QStringLiteral("A7K2M9QX");
        row.OptanteSimples = simples;
        return row;
    }
    QTemporaryDir dir;
};

} // namespace

TEST_F(TransmitPlanTest, OptanteSimplesChoosesTheWindow) {
    LocalDb db(dbPath());
    replaceContador(db, accountant());
    insertContribuinte(db, taxpayer(QStringLiteral("86123452"), false));
    insertContribuinte(db, taxpayer(QStringLiteral("78045302"), true));
    insertContribuinte(db, taxpayer(QStringLiteral("77812345"), std::nullopt));
    using Target = PrincipalLogic::TransmitPlan::Target;
    const struct {
        const char* ie;
        Target target;
    } cases[] = {{"86123452", Target::Declaration},
                 {"78045302", Target::Simples},
                 {"77812345", Target::Simples}}; // NULL counts as an optant
    for (const auto& c : cases) {
        const auto plan = PrincipalLogic::PlanTransmission(db, QString::fromLatin1(c.ie));
        EXPECT_EQ(plan.target, c.target) << c.ie;
        EXPECT_EQ(plan.contCpfCnpj, QStringLiteral("11.222.333/0001-81")) << "kept as stored";
    }
}

TEST_F(TransmitPlanTest, NoAccountantNeverLooksForTheTaxpayer) {
    LocalDb db(dbPath());
    // Without the taxpayer table a lookup would fail: the plan must stop first.
    ASSERT_TRUE(QSqlQuery(db.database()).exec(QStringLiteral("DROP TABLE tblContribuinte")));
    const auto plan = PrincipalLogic::PlanTransmission(db, QStringLiteral("86123452"));
    EXPECT_EQ(plan.target, PrincipalLogic::TransmitPlan::Target::NoAccountant);
    EXPECT_TRUE(plan.contCpfCnpj.isEmpty());
}

TEST_F(TransmitPlanTest, TaxpayerMissingFromTheTableIsAnError) {
    LocalDb db(dbPath());
    replaceContador(db, accountant());
    try {
        PrincipalLogic::PlanTransmission(db, QStringLiteral("86123452"));
        FAIL() << "expected an error";
    } catch (const DbError&) {
        FAIL() << "not a database failure";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 3021);
        EXPECT_TRUE(e.description().contains(QStringLiteral("86123452")));
    }
}

TEST(ProgramState, TaxpayerChangesAreSignalledAndClearingEmptiesAll) {
    ProgramState state;
    QSignalSpy spy(&state, &ProgramState::taxpayerChanged);
    EXPECT_FALSE(state.hasTaxpayer());
    state.setTaxpayer(QStringLiteral("86123452"), QStringLiteral("Padaria"),
                      QStringLiteral("A7K2M9QX"));
    EXPECT_TRUE(state.hasTaxpayer());
    state.setTaxpayer(QStringLiteral("86123452"), QStringLiteral("Padaria"),
                      QStringLiteral("A7K2M9QX"));
    EXPECT_EQ(spy.count(), 1) << "the same taxpayer again is no change";
    state.clearTaxpayer();
    EXPECT_EQ(spy.count(), 2);
    EXPECT_FALSE(state.hasTaxpayer());
    EXPECT_TRUE(state.RazaoSocial().isEmpty());
    EXPECT_TRUE(state.Chave().isEmpty());
}
