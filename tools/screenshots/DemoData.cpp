// The demo world of the pictures, made of the program's own store and the
// simulator, as the tests make theirs.
#include "DemoData.h"

#include "base/AppPaths.h"
#include "base/ProgramInfo.h"
#include "certificates/CertificateStore.h"
#include "store/ContadorRepository.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <zip.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

const QString DemoData::kIe = QStringLiteral("78045302");
const QString DemoData::kName = QStringLiteral("Padaria São João Ltda");
const QString DemoData::kKey = QStringLiteral("A7K2M9QX");
const QString DemoData::kNewIe = QStringLiteral("86123452");
const QString DemoData::kNewName = QStringLiteral("Comercial Norte Ltda");
const QString DemoData::kNewCnpj = QStringLiteral("04.567.891/0001-13");

namespace {

// Two companies and the taxpayer's processed transmissions, newest first in
// the list the server answers.
const char* const kSeed = R"(
[empresa]
ie=78045302
cnpj=11.222.333/0001-81
razao=Padaria São João Ltda
simples=N
chave=A7K2M9QX
[empresa]
ie=86123452
cnpj=04.567.891/0001-13
razao=Comercial Norte Ltda
simples=S
[transmissao]
ie=78045302
protocolo=20260811000417
referencia=07/2026
data=11/08/2026 10:02:51
adicionado=38.904,12
[transmissao]
ie=78045302
protocolo=20260914000233
referencia=08/2026
data=14/09/2026 16:45:09
adicionado=41.377,80
[transmissao]
ie=78045302
protocolo=20261009000128
referencia=09/2026
data=09/10/2026 09:12:40
adicionado=48.210,35
[transmissao]
ie=78045302
protocolo=20261112000356
referencia=10/2026 , 11/2026
data=12/11/2026 14:27:03
adicionado=96.551,07
)";

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!QDir().mkpath(QFileInfo(path).path()) ||
        !file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

// A backup archive shaped like the state program's: its definitions file and
// the declaration database.
void writeBackup(const QString& path) {
    int error = 0;
    zip_t* z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!z)
        throw std::runtime_error("cannot create " + path.toStdString());
    static const QByteArray definitions("definicoes");
    static const QByteArray database(20000, 'g');
    const std::vector<std::pair<const char*, const QByteArray*>> entries{
        {"dbdef.bkp", &definitions}, {"dados/gia.mdb", &database}};
    for (const auto& [name, bytes] : entries) {
        zip_source_t* source =
            zip_source_buffer(z, bytes->constData(), static_cast<zip_uint64_t>(bytes->size()), 0);
        if (!source || zip_file_add(z, name, source, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            zip_discard(z);
            throw std::runtime_error("cannot fill " + path.toStdString());
        }
    }
    if (zip_close(z) != 0) {
        zip_discard(z);
        throw std::runtime_error("cannot write " + path.toStdString());
    }
}

} // namespace

DemoData::DemoData() {
    if (!m_home.isValid() || !m_appFolder.isValid())
        throw std::runtime_error("cannot create temporary folders");
    const QByteArray home = QFile::encodeName(m_home.path());
    qputenv("HOME", home);
    qputenv("XDG_DATA_HOME", home + "/.local/share");
    qputenv("XDG_CONFIG_HOME", home + "/.config");
    qputenv("XDG_CACHE_HOME", home + "/.cache");
}

// The simulator stops before its folder goes.
DemoData::~DemoData() {
    m_simulator.reset();
}

void DemoData::prepare(const QString& companyCertificate) {
    const QString seedPath = m_home.filePath(QStringLiteral("seed.ini"));
    writeFile(seedPath, QByteArray(kSeed));
    valdoria::SimulatorOptions options;
    options.dataDir = m_home.filePath(QStringLiteral("servidor")).toStdString();
    options.seedFile = seedPath.toStdString();
    options.version = ProgramInfo::version().toStdString();
    m_simulator = std::make_unique<valdoria::Simulator>(std::move(options));
    m_simulator->start();

    const QDir app(m_appFolder.path());
    writeFile(
        app.filePath(QStringLiteral("dadav.ini")),
        QStringLiteral("[servidor]\nhost=127.0.0.1\nport=%1\n").arg(m_simulator->port()).toUtf8());
    writeFile(app.filePath(QStringLiteral("info.dip")), ProgramInfo::version().toUtf8());
    AppPaths::setApplicationFolder(app.path());
    {
        LocalDb db;
        replaceContador(db, {QStringLiteral("111.444.777-35"), QStringLiteral("RJ-084512/O-3"),
                             QStringLiteral("Marta Gonçalves Araújo"),
                             QStringLiteral("Rua Visconde de Itaboraí"), QStringLiteral("214"),
                             QStringLiteral("sala 502"), QStringLiteral("Centro"),
                             QStringLiteral("Valdoria"), QStringLiteral("RJ"),
                             QStringLiteral("(21) 3555-0142"), QStringLiteral("20010-060"),
                             QStringLiteral("contato@contabilidade-araujo.com.br")});
        insertContribuinte(db, {kIe, kName, QStringLiteral("11.222.333/0001-81"),
                                QStringLiteral("1091-1/02"), kKey, QStringLiteral("1.234.567-8"),
                                false});
    }

    writeBackup(QDir(backupFolder()).filePath(backupName()));
    // Wine's drive C:, as a prefix made by Wine has it; the file browser offers
    // only the drives the prefix maps.
    const QDir wine(m_home.filePath(QStringLiteral(".wine")));
    wine.mkpath(QStringLiteral("dosdevices"));
    QFile::link(QStringLiteral("../drive_c"), wine.filePath(QStringLiteral("dosdevices/c:")));
    CertificateStore(certificateFolder()).importFile(companyCertificate);
}

QString DemoData::backupFolder() const {
    const QString folder =
        m_home.filePath(QStringLiteral(".wine/drive_c/Program Files/SEFAZ-RJ/VAV-UVOD/Backup"));
    QDir().mkpath(folder);
    return folder;
}

QString DemoData::backupName() {
    return QStringLiteral("GIA_78045302_2026-11.zip");
}

QString DemoData::certificateFolder() const {
    return CertificateStore::defaultFolder();
}
