#include "batch/RunGraphs.h"

#include <QGuiApplication>
#include <QSize>
#include <QString>

#include <array>
#include <cctype>
#include <cstdio>

#include "chart/ChartExport.h"
#include "chart/ChartModel.h"

namespace veltrano::batch {
namespace {

// QGuiApplication keeps references to its argc and argv for its whole life.
int appArgc = 1;
char appName[] = "veltrano-batch";
char* appArgv[] = {appName, nullptr};

QtMessageHandler previousHandler = nullptr;

// A GUI application without a desktop session warns that it has no runtime
// directory; nothing here needs one, so that warning is dropped and the rest passed on.
void DropSessionWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths:"))) return;
  if (previousHandler != nullptr)
    previousHandler(type, context, message);
  else
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

bool EndsWithIgnoringCase(const std::string& s, const char* suffix) {
  const std::string_view tail(suffix);
  if (s.size() < tail.size()) return false;
  for (std::size_t i = 0; i < tail.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - tail.size() + i])) != tail[i]) return false;
  return true;
}

}  // namespace

bool IsGraphPath(const std::string& path) {
  return EndsWithIgnoringCase(path, ".png") || EndsWithIgnoringCase(path, ".svg");
}

struct RunGraphs::Impl {
  std::unique_ptr<QGuiApplication> app;  // only when this process had none
  ChartModel chart1 = ChartModel::Chart1();
  ChartModel chart2 = ChartModel::Chart2();
  std::array<ChartSeries*, kSeriesCount> series{};
};

RunGraphs::RunGraphs(bool showD) : impl_(std::make_unique<Impl>()) {
  if (QGuiApplication::instance() == nullptr) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    previousHandler = qInstallMessageHandler(DropSessionWarnings);
    impl_->app = std::make_unique<QGuiApplication>(appArgc, appArgv);
  }
  for (int i = 0; i < kSeriesCount; ++i) {
    const auto id = static_cast<SeriesId>(i);
    const bool onChart2 = id == SeriesId::rLine || id == SeriesId::rPoint_DSEM;
    ChartModel& chart = onChart2 ? impl_->chart2 : impl_->chart1;
    impl_->series[i] = &chart.Series(SeriesName(id));
  }
  impl_->series[static_cast<int>(SeriesId::sLine)]->SetActive(showD);
}

RunGraphs::~RunGraphs() {
  if (impl_->app) {
    impl_.reset();  // the application last, after the charts
    qInstallMessageHandler(previousHandler);
    previousHandler = nullptr;
  }
}

void RunGraphs::AddXY(SeriesId series, double x, double y) {
  impl_->series[static_cast<int>(series)]->AddXY(x, y);
}

void RunGraphs::SetSeriesActive(SeriesId series, bool active) {
  impl_->series[static_cast<int>(series)]->SetActive(active);
}

void RunGraphs::Save(const std::string& chart1Path, const std::string& chart2Path, int width,
                     int height) const {
  const QSize size(width, height);
  if (!chart1Path.empty()) SaveChart(impl_->chart1, QString::fromStdString(chart1Path), size);
  if (!chart2Path.empty()) SaveChart(impl_->chart2, QString::fromStdString(chart2Path), size);
}

}  // namespace veltrano::batch
