// Time of the one-time conversion of an earlier installation's Access
// database (the legacy fixture: one accountant, three taxpayers), reader
// child start-up and both of its reads included. Each iteration converts a
// fresh copy in a temporary folder.
#include "access/MdbChild.h"
#include "store/AccessConversion.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

void BM_ConvertLegacyDatabase(benchmark::State& state) {
    const QString fixture =
        QDir(QStringLiteral(DADAV_FIXTURES_DIR)).filePath(QStringLiteral("legacy-dadav.mdb"));
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("dadav.mdb"));
        if (!dir.isValid() || !QFile::copy(fixture, path))
            std::abort();
        state.ResumeTiming();
        const AccessConversion::Result result =
            AccessConversion::convertIfAccess(path, {QDate(2026, 3, 10), {}});
        if (result.outcome != AccessConversion::Result::Outcome::Converted) {
            state.SkipWithError(result.error.toStdString().c_str());
            break;
        }
        state.PauseTiming();
        dir.remove();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ConvertLegacyDatabase)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    MdbChild::setProgram(QStringLiteral(DADAV_MDB_HELPER));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
