// Implementation of the simulator fixture for tests.
#include "SimulatorFixture.h"

#include "base/AppPaths.h"

#include <QDir>
#include <QFile>

#include <stdexcept>

namespace dadav::test {

SimulatorFixture::SimulatorFixture(valdoria::SimulatorOptions options) {
    if (!appDir_.isValid() || !dataDir_.isValid()) {
        throw std::runtime_error("cannot create temporary folders for the simulator");
    }
    options.port = 0;
    options.dataDir = dataDir_.path().toStdString();
    simulator_ = std::make_unique<valdoria::Simulator>(std::move(options));
    simulator_->start();
    writeIni(QStringLiteral("127.0.0.1"), QString::number(simulator_->port()));
}

// The simulator stops (and its database closes) before the folders go.
SimulatorFixture::~SimulatorFixture() {
    simulator_.reset();
}

quint16 SimulatorFixture::port() const {
    return static_cast<quint16>(simulator_->port());
}

void SimulatorFixture::useAsApplicationFolder() const {
    AppPaths::setApplicationFolder(appDir_.path());
}

void SimulatorFixture::writeIni(const QString& host, const QString& port) const {
    QString text = QStringLiteral("[servidor]\nhost=%1\nport=%2\n").arg(host, port);
    writeFile(QStringLiteral("dadav.ini"), text.toUtf8());
}

void SimulatorFixture::writeFile(const QString& name, const QByteArray& bytes) const {
    QFile file(QDir(appDir_.path()).filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        throw std::runtime_error("cannot write " + file.fileName().toStdString());
    }
}

} // namespace dadav::test
