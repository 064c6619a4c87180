// Two jobs in one process at once, with different settings: each gets exactly the results
// of its own settings, as it would alone. Nothing a job sets (the interval switch of its
// analyses, its thread count, its stop token) reaches the other. Run under
// ThreadSanitizer too (scripts/tsan.sh), where any shared state written by both would be a
// reported race.
#include <gtest/gtest.h>

#include <barrier>
#include <string>
#include <thread>
#include <vector>

#include "RecordingHost.h"
#include "jobs/AnalyseJob.h"
#include "jobs/SimulateJob.h"
#include "simulation/ExamSimulator.h"

namespace veltrano::jobs {
namespace {

// Tables of simulated tests, n = 30, k = 4, at several degrees.
std::vector<ObservedTable> Tables() {
  ExamSimulator simulator(30, 4);
  UniformGenerator rng(7);
  std::vector<ObservedTable> tables;
  for (int i = 0; i < 120; ++i) {
    const tBfMatriz m = simulator.MakeTable(10 * (i % 10), rng);
    ObservedTable t;
    t.number = i + 1;
    t.k = 4;
    for (int r = 1; r <= 4; ++r)
      for (int c = 1; c <= 4; ++c) t.cells.push_back(m.X[r][c]);
    tables.push_back(std::move(t));
  }
  return tables;
}

// The record line of every table, analysed with the settings on `jobs` threads.
std::vector<std::string> Records(const std::vector<ObservedTable>& tables, bool ci, int jobs) {
  AnalyseTablesRun run;
  run.analysis.ci = ci;
  run.jobs = jobs;
  std::size_t next = 0;
  run.next = [&](ObservedTable& t) {
    if (next == tables.size()) return false;
    t = tables[next++];
    return true;
  };
  run.format = [](TableResult& r) {
    r.text = r.failed ? r.error : r.analysis->output_record();
  };
  std::vector<std::string> records;
  run.hand = [&](const TableResult& r) { records.push_back(r.text); };
  EXPECT_EQ(AnalyseTables(run, {}), Ending::Completed);
  return records;
}

TEST(TwoJobs, AnalysesWithAndWithoutTheIntervalAtOnce) {
  const std::vector<ObservedTable> tables = Tables();
  const std::vector<std::string> withAlone = Records(tables, true, 1);
  const std::vector<std::string> withoutAlone = Records(tables, false, 1);
  ASSERT_NE(withAlone, withoutAlone);  // the interval adds two limits to each record

  for (int round = 0; round < 3; ++round) {
    std::vector<std::string> with, without;
    std::barrier start(2);
    std::thread a([&] {
      start.arrive_and_wait();
      with = Records(tables, true, 2);
    });
    std::thread b([&] {
      start.arrive_and_wait();
      without = Records(tables, false, 3);
    });
    a.join();
    b.join();
    EXPECT_EQ(with, withAlone);
    EXPECT_EQ(without, withoutAlone);
  }
}

// Two runs at once, each with its own generator, settings and stop token: each writes what
// it writes alone, and a stop asked of one ends that one only.
TEST(TwoJobs, RunsWithTheirOwnSettingsAndStopTokens) {
  const auto settings = [](bool ci) {
    RunSettings s;
    s.SpinEdit_n = 20;
    s.SpinEdit_Test = 60;
    s.CheckBox_CI = ci;
    return s;
  };
  const auto alone = [&](bool ci) {
    UniformGenerator rng(11);
    SimulationRun run(rng, 1);
    testing::RecordingHost host;
    RunSimulation(run, settings(ci), host, {});
    return host.data;
  };
  const std::vector<std::string> withAlone = alone(true), withoutAlone = alone(false);

  UniformGenerator rngA(11), rngB(11), rngC(11);
  SimulationRun runA(rngA, 2), runB(rngB, 2), runC(rngC, 2);
  testing::RecordingHost hostA, hostB, hostC;
  StopToken stopped;
  stopped.Request();
  Ending endA{}, endB{}, endC{};
  std::barrier start(3);
  std::thread a([&] {
    start.arrive_and_wait();
    endA = RunSimulation(runA, settings(true), hostA, {});
  });
  std::thread b([&] {
    start.arrive_and_wait();
    endB = RunSimulation(runB, settings(false), hostB, {});
  });
  std::thread c([&] {
    start.arrive_and_wait();
    endC = RunSimulation(runC, settings(true), hostC, {&stopped, nullptr});
  });
  a.join();
  b.join();
  c.join();
  EXPECT_EQ(endA, Ending::Completed);
  EXPECT_EQ(endB, Ending::Completed);
  EXPECT_EQ(hostA.data, withAlone);
  EXPECT_EQ(hostB.data, withoutAlone);
  // The stopped run ends after its first test: the heading and one record.
  EXPECT_EQ(endC, Ending::Stopped);
  EXPECT_EQ(hostC.data.size(), 2u);
}

}  // namespace
}  // namespace veltrano::jobs
