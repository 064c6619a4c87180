// Chart drawing and point storage at the volumes a long run produces: a million points
// rendered into an 800 × 600 image or saved as SVG, a repaint from the warm cache, a
// million AddXY calls, and what the count of points outside the axes and fitting the
// axes to the data add to a render.
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include "chart/ChartExport.h"
#include "chart/ChartModel.h"
#include "chart/ChartRenderer.h"

#include <benchmark/benchmark.h>

#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <random>

namespace {

using veltrano::ChartModel;

const QSize kSize(800, 600);

// Chart1 with `total` points spread over its three point series. Points are uniform over
// the plot, the worst case for the per-pixel dedupe (a run's points crowd onto a few
// columns of x instead).
ChartModel MillionPointChart(int total) {
  ChartModel chart = ChartModel::Chart1();
  std::mt19937_64 gen(42);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const char* names[] = {"sPoint_DSEM", "sPoint_Dcond", "sDLN"};
  for (int i = 0; i < total; ++i) {
    const double x = u(gen);  // draw order is fixed: x then y
    chart.Series(names[i % 3]).AddXY(x, u(gen));
  }
  chart.Series("sLine").AddXY(0, 0);
  chart.Series("sLine").AddXY(1, 1);
  return chart;
}

void BM_RenderPoints(benchmark::State& state) {
  const ChartModel chart = MillionPointChart(static_cast<int>(state.range(0)));
  chart.Series(veltrano::SeriesHandle{0}).Points();  // any pending sorting is not the renderer's
  for (auto _ : state) {
    QImage image = veltrano::RenderChart(chart, kSize);
    benchmark::DoNotOptimize(image.constBits());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RenderPoints)->Arg(1'000'000)->Arg(3'000'000)->Unit(benchmark::kMillisecond);

void BM_RepaintWarmCache(benchmark::State& state) {
  const ChartModel chart = MillionPointChart(1'000'000);
  veltrano::ChartImageCache cache;
  QImage screen(kSize, QImage::Format_ARGB32_Premultiplied);
  cache.Image(chart, kSize);
  for (auto _ : state) {
    QPainter painter(&screen);
    cache.Paint(painter, chart, kSize);
  }
  if (cache.RebuildCount() != 1) state.SkipWithError("the warm cache was rebuilt");
}
BENCHMARK(BM_RepaintWarmCache)->Unit(benchmark::kMicrosecond);

// A run's points: 100 tests at each of the degrees 0.01 … 1, the estimates scattered
// about the true knowledge. They crowd onto one column of pixels per degree.
ChartModel RunLikeChart(int total) {
  ChartModel chart = ChartModel::Chart1();
  std::mt19937_64 gen(7);
  std::normal_distribution<double> noise(0.0, 0.05);
  const char* names[] = {"sPoint_DSEM", "sPoint_Dcond", "sDLN"};
  for (int i = 0; i < total; ++i) {
    const double x = static_cast<double>(i * 100 / total + 1) / 100;
    chart.Series(names[i % 3]).AddXY(x, x + noise(gen));
  }
  return chart;
}

void BM_SaveSvg(benchmark::State& state, ChartModel (*make)(int)) {
  const ChartModel chart = make(1'000'000);
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("chart.svg"));
  for (auto _ : state) veltrano::SaveSvg(chart, path, kSize);
  state.counters["bytes"] = static_cast<double>(QFileInfo(path).size());
}
BENCHMARK_CAPTURE(BM_SaveSvg, RunLike, RunLikeChart)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SaveSvg, Uniform, MillionPointChart)->Unit(benchmark::kMillisecond);

void BM_RenderRunLike(benchmark::State& state) {
  const ChartModel chart = RunLikeChart(1'000'000);
  for (auto _ : state) {
    QImage image = veltrano::RenderChart(chart, kSize);
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_RenderRunLike)->Unit(benchmark::kMillisecond);

// The cost of counting the points outside the axes, measured as the difference between
// rendering Chart1 with 10^6 points that all lie below its axis (each one counted) and
// rendering it empty, in the same run.
void BM_RenderOutside(benchmark::State& state) {
  ChartModel chart = ChartModel::Chart1();
  const int n = static_cast<int>(state.range(0));
  const char* names[] = {"sPoint_DSEM", "sPoint_Dcond", "sDLN"};
  for (int i = 0; i < n; ++i) chart.Series(names[i % 3]).AddXY((i % 1000) / 1000.0, -0.5);
  for (const auto& s : chart.AllSeries()) s.Points();  // the sorting is not the renderer's
  veltrano::OutsidePoints outside;
  for (auto _ : state) {
    QImage image = veltrano::RenderChart(chart, kSize, 1.0, &outside);
    benchmark::DoNotOptimize(image.constBits());
  }
  if (outside.below != static_cast<std::size_t>(n)) state.SkipWithError("points were not counted");
}
BENCHMARK(BM_RenderOutside)->Arg(0)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// A repaint during a run: one more point arrived, so the image (and, with fitted axes,
// the extent of the data) is made anew. Chart1 with 10^6 run-like points, fixed axes
// against fitted ones.
void BM_RepaintRunLike(benchmark::State& state) {
  ChartModel chart = RunLikeChart(1'000'000);
  chart.SetFitAxesToData(state.range(0) != 0);
  auto& series = chart.Series("sPoint_DSEM");
  for (auto _ : state) {
    series.AddXY(1.0, 0.5);
    QImage image = veltrano::RenderChart(chart, kSize);
    benchmark::DoNotOptimize(image.constBits());
  }
  state.SetLabel(state.range(0) != 0 ? "fitted axes" : "fixed axes");
}
BENCHMARK(BM_RepaintRunLike)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The extent of 10^6 points alone, as fitting the axes needs it after every change.
void BM_Extent(benchmark::State& state) {
  ChartModel chart = RunLikeChart(1'000'000);
  auto& series = chart.Series("sPoint_DSEM");
  for (auto _ : state) {
    series.AddXY(1.0, 0.5);
    benchmark::DoNotOptimize(chart.Extent());
  }
}
BENCHMARK(BM_Extent)->Unit(benchmark::kMillisecond);

// A run walks the degrees upwards, so its points arrive in ascending x: appends.
void BM_AddXYAscending(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    veltrano::ChartSeries s("s", veltrano::SeriesKind::Points, {});
    for (int i = 0; i < n; ++i) s.AddXY(static_cast<double>(i / 10'000) / 100, 0.5);
    benchmark::DoNotOptimize(s.Points().data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_AddXYAscending)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// A second run adds the same degrees again: every point lands before the last x.
void BM_AddXYSecondRun(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const auto x = [](int i) { return static_cast<double>(i / 10'000) / 100; };
  for (auto _ : state) {
    state.PauseTiming();
    veltrano::ChartSeries s("s", veltrano::SeriesKind::Points, {});
    for (int i = 0; i < n; ++i) s.AddXY(x(i), 0.5);
    state.ResumeTiming();
    for (int i = 0; i < n; ++i) s.AddXY(x(i), 0.25);
    benchmark::DoNotOptimize(s.Points().data());  // includes bringing the points in order
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_AddXYSecondRun)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
