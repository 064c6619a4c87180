#pragma once
// Running veltrano-batch's commands in-process and looking at what they wrote.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "TextLines.h"
#include "batch/Commands.h"

namespace veltrano::batch::testing {

using veltrano::testing::Cells;
using veltrano::testing::Lines;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

/// Runs veltrano-batch with args (without the program name) and input as standard input.
inline Outcome RunCommand(const std::vector<std::string>& args, const std::string& input = "",
                          const BatchServices& services = {}) {
  std::istringstream in(input);
  std::ostringstream out, err;
  Console console{in, out, err, false};
  Outcome o;
  o.status = RunBatch(args, console, services);
  o.out = out.str();
  o.err = err.str();
  return o;
}

/// The whole content of a file, or "<missing>" when it cannot be opened.
inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

/// A fresh directory for one test's files, removed with everything in it at the end.
class ScratchDir {
public:
  ScratchDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() / ("veltrano-batch-test-" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
  std::filesystem::path path_;
};

}  // namespace veltrano::batch::testing
