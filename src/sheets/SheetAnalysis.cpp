// The analysis of an answer sheet, examinee by examinee, and the pooled table.
//
// Favoured positions. Under the delta model an examinee who does not know an item marks
// position j with probability pi_j. A wrong answer to an item whose key stands at
// position i therefore falls on j ≠ i with probability pi_j / (1 − pi_i), which is
// 1/(k − 1) for every j when guessing is even (every pi_j = 1/k), whatever delta is.
// So, given the w_i wrong answers of each row i, the wrong answers W_j = Σ_{i≠j} x_ij
// that fall on position j are a sum of independent binomials (w_i, 1/(k − 1)) under even
// guessing, with mean E_j = Σ_{i≠j} w_i/(k − 1) and variance Σ_{i≠j} w_i (k − 2)/(k − 1)².
// A position is favoured "far above 1/k" when z_j = (W_j − E_j)/sd_j exceeds the one-sided
// normal quantile of level kFavouredLevel/k: the chance that even guessing makes any of
// the k positions look favoured is then below kFavouredLevel (Bonferroni). The test
// conditions on the rows, so it neither depends on delta nor on how often the key uses
// each position, and sums of examinees' tables keep its form. It needs k ≥ 3 (with two
// positions a wrong answer has only one place to go) and enough wrong answers for the
// normal approximation: positions whose E_j is below 5 are not judged.
#include "sheets/SheetAnalysis.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "numeric/NumStr.h"
#include "parallel/OrderedPipeline.h"

namespace veltrano {
namespace {

constexpr double kMinExpected = 5;

// The analysis keeps its digits only up to a table total of kMaxTableTotal. An
// examinee's total is at most the number of items, which the line length bound keeps
// below 2^20; only the pooled table of a huge sheet can pass it, and then it gets the
// reason in its error cell rather than digits that are wrong.
std::string TableTotalProblem(double total) {
  if (total <= kMaxTableTotal) return {};
  char text[64];
  std::snprintf(text, sizeof text, "%.0f", total);
  return std::string("the answers add up to ") + text + "; a table's total may be at most " +
         std::to_string(static_cast<long long>(kMaxTableTotal)) + " (the analysis loses precision beyond it)";
}

void AppendInteger(std::string& out, std::int64_t v) {
  char text[24];
  const auto r = std::to_chars(text, text + sizeof text, v);
  out.append(text, r.ptr);
}

// A number with 17 significant digits, or nothing when it is undefined.
void AppendNumberCell(std::string& out, double x) {
  if (IsNodefinido(x) || !std::isfinite(x)) return;
  AppendG17(out, x);
}

// The one-sided standard normal quantile z with P(Z > z) = p, by bisection on erfc.
double UpperNormalQuantile(double p) {
  double lo = 0, hi = 40;
  for (int i = 0; i < 200 && hi - lo > 1e-12; ++i) {
    const double mid = (lo + hi) / 2;
    (0.5 * std::erfc(mid / std::sqrt(2.0)) > p ? lo : hi) = mid;
  }
  return (lo + hi) / 2;
}

struct Slot {
  SheetRow row;
  std::vector<Mark> marks;
  std::string scratch;
  ExamineeResult result;
  std::optional<SheetFormatError> bad;
};

}  // namespace

void AnalyseTable(ExamineeResult& r, const AnalysisSettings& settings) {
  r.analysis.reset();
  r.analysed = r.failed = false;
  r.error.clear();
  r.estimates = TestEstimates{};
  if (r.counts.answered == 0) {
    r.error = kNothingAnswered;
    return;
  }
  const int k = r.k;
  tBfMatriz table = tBfMatriz::MCReal(k);
  for (int i = 1; i <= k; ++i)
    for (int j = 1; j <= k; ++j) table.X[i][j] = r.cells[static_cast<std::size_t>((i - 1) * k + (j - 1))];
  table.GetTotales();
  // D Lord & Novick needs no model: it is given even when the analysis fails.
  const double dln = LordNovick(k, table.X[0][0], CorrectAnswers(table));
  if (std::string problem = TableTotalProblem(table.X[0][0]); !problem.empty()) {
    r.failed = true;
    r.error = std::move(problem);
    r.estimates.dln = dln;
    return;
  }
  try {
    tAnalisisDeltaMET& a = r.analysis.emplace();
    RunAnalysis(a, table, settings);
    r.estimates = EstimatesOf(a, 0, dln);
    r.analysed = true;
  } catch (const std::exception& e) {
    r.analysis.reset();
    r.estimates = TestEstimates{};
    r.failed = true;
    r.error = e.what();
  }
  r.estimates.dln = dln;
}

void AppendCsvCell(std::string& out, std::string_view text) {
  const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                     (!text.empty() && (text.front() == ' ' || text.back() == ' ' || text.front() == '\t' ||
                                        text.back() == '\t'));
  if (!quote) {
    out.append(text);
    return;
  }
  out.push_back('"');
  for (const char c : text) {
    out.push_back(c);
    if (c == '"') out.push_back('"');
  }
  out.push_back('"');
}

void AppendSheetCsvRow(std::string& out, const ExamineeResult& r, const AnalysisSettings& settings) {
  const TestEstimates& e = r.estimates;
  AppendCsvCell(out, r.id);
  for (const std::int64_t count : {r.counts.items, r.counts.answered, r.counts.omitted, r.counts.right}) {
    out.push_back(',');
    AppendInteger(out, count);
  }
  out.push_back(',');
  AppendNumberCell(out, e.dln);
  const double undefined = Nodefinido;
  const bool a = r.analysed;
  const double numbers[] = {
      a ? e.du : undefined,
      a && HasStandardError(e.seDu) ? e.seDu : undefined,
      a && settings.ci ? e.ciLower : undefined,
      a && settings.ci ? e.ciUpper : undefined,
      a && settings.alternative ? e.dc : undefined,
      a && settings.alternative ? e.seDc : undefined,
  };
  for (const double x : numbers) {
    out.push_back(',');
    AppendNumberCell(out, x);
  }
  out.push_back(',');
  if (a) AppendInteger(out, e.code);
  out.push_back(',');
  if (a) AppendInteger(out, e.code2);
  out.push_back(',');
  AppendCsvCell(out, r.error);
}

void AppendSheetTable(std::string& out, const ExamineeResult& r) {
  out += "# ";
  out += r.id;
  if (r.counts.answered == 0) {
    out += " (";
    out += kNothingAnswered;
    out += ")\n\n";
    return;
  }
  out.push_back('\n');
  for (int i = 0; i < r.k; ++i) {
    for (int j = 0; j < r.k; ++j) {
      if (j > 0) out.push_back(' ');
      AppendInteger(out, static_cast<std::int64_t>(r.cells[static_cast<std::size_t>(i * r.k + j)]));
    }
    out.push_back('\n');
  }
  out.push_back('\n');
}

Ending AnalyseSheet(SheetReader& reader, const SheetRun& run) {
  const int k = run.k;
  ExamineeResult pooled;
  pooled.id = kPooledId;
  pooled.k = k;
  pooled.cells.assign(static_cast<std::size_t>(k) * static_cast<std::size_t>(k), 0.0);
  bool readerFailed = false;
  bool stopped = false;
  const auto slots = static_cast<std::size_t>(std::max(8, 4 * run.jobs));
  RunOrdered<Slot>(
      run.jobs, slots,
      [&](Slot& s) {
        // A bad row is handed on as such, so that the rows before it are handed on first.
        s.bad.reset();
        if (readerFailed) return false;
        try {
          return reader.NextRow(s.row);
        } catch (const SheetFormatError& e) {
          readerFailed = true;
          s.bad = e;
          return true;
        }
      },
      [&](Slot& s) {
        if (s.bad) return;
        try {
          reader.Marks(s.row, s.marks, s.scratch);
        } catch (const SheetFormatError& e) {
          s.bad = e;
          return;
        }
        ExamineeResult& r = s.result;
        r.id = s.row.id;
        r.line = s.row.line;
        r.offset = s.row.offset;
        r.k = k;
        r.counts = Tally(reader.Key(), s.marks, k, r.cells);
        AnalyseTable(r, run.analysis);
        r.text.clear();
        r.tableText.clear();
        if (run.format) run.format(r);
      },
      [&](Slot& s) {
        if (s.bad) throw *s.bad;
        const ExamineeResult& r = s.result;
        for (std::size_t c = 0; c < r.cells.size(); ++c) pooled.cells[c] += r.cells[c];
        pooled.counts.items += r.counts.items;
        pooled.counts.answered += r.counts.answered;
        pooled.counts.omitted += r.counts.omitted;
        pooled.counts.right += r.counts.right;
        pooled.offset = r.offset;
        if (run.hand(r)) return true;
        stopped = true;
        return false;
      });
  if (stopped) return Ending::Stopped;
  AnalyseTable(pooled, run.analysis);
  if (run.format) run.format(pooled);
  run.hand(pooled);
  return Ending::Completed;
}

std::optional<int> ScanSheet(SheetReader& reader, const ScanProgress& progress) {
  SheetRow row;
  std::vector<Mark> marks;
  std::string scratch;
  int largest = 0;
  int sinceReport = 0;
  while (reader.NextRow(row)) {
    largest = std::max(largest, reader.Marks(row, marks, scratch));
    if (!progress || ++sinceReport < kScanReportRows) continue;
    sinceReport = 0;
    if (!progress(row.offset)) return std::nullopt;
  }
  if (reader.Alternatives() > 0) return reader.Alternatives();
  return std::max({kMinAlternatives, largest, reader.Key().Largest()});
}

std::vector<FavouredPosition> FavouredPositions(const std::vector<double>& cells, int k) {
  std::vector<FavouredPosition> favoured;
  if (k < 3 || cells.size() != static_cast<std::size_t>(k) * static_cast<std::size_t>(k)) return favoured;
  const auto at = [&](int i, int j) { return cells[static_cast<std::size_t>(i * k + j)]; };
  std::vector<double> wrongOfRow(static_cast<std::size_t>(k), 0.0);
  for (int i = 0; i < k; ++i)
    for (int j = 0; j < k; ++j)
      if (j != i) wrongOfRow[static_cast<std::size_t>(i)] += at(i, j);
  const double share = 1.0 / (k - 1);
  const double zCritical = UpperNormalQuantile(kFavouredLevel / k);
  for (int j = 0; j < k; ++j) {
    double wrong = 0, others = 0;
    for (int i = 0; i < k; ++i) {
      if (i == j) continue;
      wrong += at(i, j);
      others += wrongOfRow[static_cast<std::size_t>(i)];
    }
    const double expected = others * share;
    if (expected < kMinExpected) continue;
    const double sd = std::sqrt(others * share * (1 - share));
    const double z = (wrong - expected) / sd;
    if (z > zCritical) favoured.push_back({j + 1, wrong, expected, z});
  }
  return favoured;
}

}  // namespace veltrano
