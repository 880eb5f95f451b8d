// The benchmarks of every layer in one program. Run with scripts/bench.
#include <QApplication>

#include <benchmark/benchmark.h>

int main(int argc, char **argv)
{
    // Widgets are measured too; without a desktop they paint offscreen.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
