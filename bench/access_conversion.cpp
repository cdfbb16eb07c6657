// Time of the one-time conversion of an earlier installation's Access
// database (the legacy fixture: one accountant, three taxpayers), reader
// child start-up and both of its reads included. Each iteration converts a
// fresh copy in a temporary folder.
//
// BM_ConvertManyTinyRows: the client's peak memory when the child writes a
// great many tiny rows within its output bound (a stand-in child writes
// DADAV_BENCH_ROWS rows, 1,500,000 by default). Run it alone, so that the
// process's peak is this conversion's:
//   bench_access_conversion --benchmark_filter=ManyTinyRows
#include "access/MdbChild.h"
#include "store/AccessConversion.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sys/resource.h>

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

double peakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_ConvertManyTinyRows(benchmark::State& state) {
    const QString fixture =
        QDir(QStringLiteral(DADAV_FIXTURES_DIR)).filePath(QStringLiteral("legacy-dadav.mdb"));
    MdbChild::setProgram(QStringLiteral(DADAV_ROWS_CHILD));
    const double before = peakRssMiB();
    for (auto _ : state) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("dadav.mdb"));
        if (!dir.isValid() || !QFile::copy(fixture, path))
            std::abort();
        const AccessConversion::Result result = AccessConversion::convertIfAccess(path, {QDate(2026, 3, 10), {}});
        if (result.outcome != AccessConversion::Result::Outcome::Converted) {
            state.SkipWithError(result.error.toStdString().c_str());
            break;
        }
        state.counters["taxpayers"] = result.taxpayers;
    }
    state.counters["peak_before_MiB"] = before;
    state.counters["peak_MiB"] = peakRssMiB();
    MdbChild::setProgram(QStringLiteral(DADAV_MDB_HELPER));
}
BENCHMARK(BM_ConvertManyTinyRows)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    MdbChild::setProgram(QStringLiteral(DADAV_MDB_HELPER));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
