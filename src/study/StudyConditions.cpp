#include "study/StudyConditions.h"

#include <istream>

#include "numeric/WholeNumber.h"

namespace veltrano {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::int32_t WholeNumberIn(std::string_view text, std::int64_t lo, std::int64_t hi, std::string& problem) {
  std::int64_t v = 0;
  problem = WholeNumberProblem(text, lo, hi, v);
  return static_cast<std::int32_t>(v);
}

[[noreturn]] void ListError(const SettingEntry& setting, const std::string& what) {
  throw StudyInputError(Named(SettingName(setting)) + ": " + what);
}

std::int32_t ListValue(std::string_view text, const SettingEntry& setting) {
  std::string problem;
  const std::int32_t v = WholeNumberIn(text, setting.min, setting.max, problem);
  if (!problem.empty()) ListError(setting, problem);
  return v;
}

}  // namespace

std::vector<std::string_view> SplitAt(std::string_view s, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t at = s.find(separator);
    parts.push_back(s.substr(0, at));
    if (at == std::string_view::npos) return parts;
    s.remove_prefix(at + 1);
  }
}

std::vector<std::int32_t> ParseValueList(std::string_view text, const SettingEntry& setting) {
  if (Trim(text).empty()) ListError(setting, "the list is empty");
  std::vector<std::int32_t> values;
  for (std::string_view entry : SplitAt(text, ',')) {
    entry = Trim(entry);
    if (entry.empty()) ListError(setting, Quoted(text) + " has an empty entry");
    const std::vector<std::string_view> parts = SplitAt(entry, ':');
    if (parts.size() == 1) {
      values.push_back(ListValue(entry, setting));
      continue;
    }
    if (parts.size() > 3) ListError(setting, Quoted(entry) + " is neither a value nor a range lo:hi:step");
    const std::int32_t lo = ListValue(Trim(parts[0]), setting);
    const std::int32_t hi = ListValue(Trim(parts[1]), setting);
    std::int32_t step = 1;
    if (parts.size() == 3) {
      std::string problem;
      step = WholeNumberIn(Trim(parts[2]), 1, setting.max - setting.min + 1, problem);
      if (!problem.empty()) ListError(setting, Quoted(entry) + ": the step " + problem);
    }
    if (lo > hi) ListError(setting, Quoted(entry) + " runs backwards: " + std::to_string(lo) + " is above " +
                                     std::to_string(hi));
    for (std::int64_t v = lo; v <= hi; v += step) values.push_back(static_cast<std::int32_t>(v));
  }
  return values;
}

std::vector<Condition> ReadDesign(std::istream& in, const std::string& name) {
  const auto fail = [&name](long line, const std::string& what) -> void {
    throw StudyInputError(name + ", line " + std::to_string(line) + ": " + what);
  };
  static constexpr std::string_view kColumns[] = {"n", "k", "do"};
  static constexpr const SettingEntry* kSettings[] = {&setting::n, &setting::k, &setting::D0};
  int position[3] = {-1, -1, -1};  // the field of n, k and do
  std::vector<Condition> conditions;
  std::string text;
  long line = 0;
  bool header = false;
  while (std::getline(in, text)) {
    ++line;
    std::string_view l = text;
    if (line == 1 && l.substr(0, 3) == "\xEF\xBB\xBF") l.remove_prefix(3);  // a byte-order mark
    l = Trim(l);
    if (l.empty() || l.front() == '#') continue;
    const std::vector<std::string_view> fields = SplitAt(l, ',');
    if (!header) {
      header = true;
      bool ok = fields.size() == 3;
      for (std::size_t f = 0; ok && f < fields.size(); ++f) {
        int c = 0;
        while (c < 3 && kColumns[c] != Trim(fields[f])) ++c;
        ok = c < 3 && position[c] < 0;
        if (ok) position[c] = static_cast<int>(f);
      }
      if (!ok) fail(line, "the header must name the columns n, k and do (\"n,k,do\"), got " + Quoted(l));
      continue;
    }
    if (fields.size() != 3)
      fail(line, std::to_string(fields.size()) + (fields.size() == 1 ? " value" : " values") +
                     " where the header names 3 (n, k and do)");
    std::int32_t v[3] = {0, 0, 0};
    for (int c = 0; c < 3; ++c) {
      std::string problem;
      const std::string_view field = Trim(fields[static_cast<std::size_t>(position[c])]);
      v[c] = WholeNumberIn(field, kSettings[c]->min, kSettings[c]->max, problem);
      if (!problem.empty()) fail(line, "column " + std::string(kColumns[c]) + ": " + problem);
    }
    if (static_cast<std::int64_t>(conditions.size()) >= kMaxConditions)
      fail(line, "more than " + std::to_string(kMaxConditions) + " conditions");
    conditions.push_back({v[0], v[1], v[2]});
  }
  if (in.bad()) throw StudyInputError(name + ": read error");
  if (conditions.empty()) throw StudyInputError(name + ": the file holds no condition");
  return conditions;
}

StudyConditions StudyConditions::Grid(std::vector<std::int32_t> n, std::vector<std::int32_t> k,
                                      std::vector<std::int32_t> D) {
  StudyConditions c;
  c.grid_ = true;
  c.count_ = static_cast<std::int64_t>(n.size()) * static_cast<std::int64_t>(k.size());
  if (c.count_ != 0 && static_cast<std::int64_t>(D.size()) > kMaxConditions / c.count_)
    throw StudyInputError("the grid has more than " + std::to_string(kMaxConditions) + " conditions");
  c.count_ *= static_cast<std::int64_t>(D.size());
  c.n_ = std::move(n);
  c.k_ = std::move(k);
  c.D_ = std::move(D);
  return c;
}

StudyConditions StudyConditions::Listed(std::vector<Condition> conditions) {
  StudyConditions c;
  c.count_ = static_cast<std::int64_t>(conditions.size());
  c.listed_ = std::move(conditions);
  return c;
}

Condition StudyConditions::At(std::int64_t index) const {
  const auto i = static_cast<std::size_t>(index - 1);
  if (!grid_) return listed_[i];
  const std::size_t perN = k_.size() * D_.size();
  return {n_[i / perN], k_[i % perN / D_.size()], D_[i % D_.size()]};
}

Shard ParseShard(std::string_view text) {
  const std::size_t slash = text.find('/');
  const auto number = [](std::string_view t, std::int64_t& v) {
    const char* end = t.data() + t.size();
    const auto r = std::from_chars(t.data(), end, v);
    return !t.empty() && r.ptr == end && r.ec == std::errc{};
  };
  Shard s;
  if (slash == std::string_view::npos || !number(text.substr(0, slash), s.index) ||
      !number(text.substr(slash + 1), s.count) || s.count < 1)
    throw StudyInputError(Named("shard") + ": " + Quoted(text) + " is not I/N with whole numbers I and N, N at least 1");
  if (s.index < 1 || s.index > s.count)
    throw StudyInputError(Named("shard") + ": " + Quoted(text) + ": I must be from 1 to N (" + std::to_string(s.count) + ")");
  return s;
}

}  // namespace veltrano
