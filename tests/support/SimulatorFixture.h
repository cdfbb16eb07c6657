// Test helper: starts the server simulator in-process on an ephemeral
// loopback port, with its data in a temporary folder, and prepares a second
// temporary folder as the client's application folder with a dadav.ini that
// points at the simulator. Both folders go away with the fixture.
#pragma once

#include "simulator/Simulator.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace dadav::test {

class SimulatorFixture {
public:
    // Starts the simulator; `options.port` and `options.dataDir` are replaced
    // (ephemeral port, temporary folder). Throws std::runtime_error when a
    // folder cannot be made or the simulator cannot start.
    explicit SimulatorFixture(valdoria::SimulatorOptions options = {});
    ~SimulatorFixture();
    SimulatorFixture(const SimulatorFixture&) = delete;
    SimulatorFixture& operator=(const SimulatorFixture&) = delete;

    valdoria::Simulator& simulator() { return *simulator_; }
    quint16 port() const;
    // The client's application folder (holds dadav.ini).
    QString applicationFolder() const { return appDir_.path(); }
    QString dataFolder() const { return dataDir_.path(); }

    // Makes the application folder the one the client's code uses.
    void useAsApplicationFolder() const;
    // Rewrites dadav.ini, e.g. to point at a closed port.
    void writeIni(const QString& host, const QString& port) const;
    // Writes a file of the application folder (info.dip, say); throws
    // std::runtime_error when it cannot be written.
    void writeFile(const QString& name, const QByteArray& bytes) const;

private:
    QTemporaryDir appDir_;
    QTemporaryDir dataDir_;
    std::unique_ptr<valdoria::Simulator> simulator_;
};

} // namespace dadav::test
