// veltrano-batch: the window's simulation and the delta-model analysis from a shell.
#include <unistd.h>

#include <csignal>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "batch/Commands.h"
#include "batch/StreamHost.h"

namespace {

// The first interrupt ends the run after the current test, so the outputs are written
// out complete up to there; a second one ends the program at once.
extern "C" void OnInterrupt(int) {
  veltrano::batch::RequestStop();
  std::signal(SIGINT, SIG_DFL);
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  std::signal(SIGINT, OnInterrupt);
  veltrano::batch::Console console{std::cin, std::cout, std::cerr, isatty(STDERR_FILENO) != 0};
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  try {
    return veltrano::batch::RunBatch(args, console);
  } catch (const std::exception& e) {  // the commands report their own errors; this is a last guard
    std::cerr << "veltrano-batch: " << e.what() << '\n';
    return veltrano::batch::kExitFailure;
  }
}
