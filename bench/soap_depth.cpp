// Cost of reading a deeply nested server answer: the SOAP result reader,
// which refuses past the depth limit before building anything, against
// building the document regardless (what the reader did before it refused).
#include "net/SoapEnvelope.h"

#include <QDomDocument>

#include <benchmark/benchmark.h>

namespace {

// About 300 KB at 100,000 levels: "<a>" and "</a>" per level.
QString nested(int depth) {
    return QStringLiteral("<a>").repeated(depth) + QStringLiteral("</a>").repeated(depth);
}

void BM_GetResultRefusesDeepAnswer(benchmark::State& state) {
    const QString text = nested(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(Soap::GetResult(text, QStringLiteral("return")));
    state.SetLabel(std::to_string(text.size()) + " chars");
}
BENCHMARK(BM_GetResultRefusesDeepAnswer)->Arg(1000)->Arg(10000)->Arg(100000);

void BM_DocumentBuiltRegardless(benchmark::State& state) {
    const QString text = nested(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        QDomDocument doc;
        benchmark::DoNotOptimize(doc.setContent(text, false));
    }
}
BENCHMARK(BM_DocumentBuiltRegardless)
    ->Arg(2500)
    ->Arg(5000)
    ->Arg(10000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
