// Writes the random words a philox study draws, as it draws them, to standard output as raw
// 32-bit words (the machine's byte order) until the reader stops reading: for replication
// r = 1, 2, 3, ... of condition I of the study seeded S whose condition is (n, k, Do), the
// words of the stream (S, I, r) that the replication's test takes, one test after the
// other. For statistical test batteries that read a generator's output (dieharder -g 200).
//
//   study_stream S I n k Do | dieharder -a -g 200
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "simulation/ExamSimulator.h"
#include "study/StudyGenerator.h"

int main(int argc, char** argv) {
  using namespace veltrano;
  if (argc != 6) {
    std::fprintf(stderr, "usage: study_stream SEED CONDITION N K DO\n");
    return 2;
  }
  const std::uint64_t S = std::stoull(argv[1]);
  const std::int64_t condition = std::stoll(argv[2]);
  const int n = std::stoi(argv[3]), k = std::stoi(argv[4]), D = std::stoi(argv[5]);
  ExamSimulator simulator(n, k);
  std::vector<std::uint32_t> out;
  for (std::int64_t r = 1; r <= kMaxReplicationNumber; ++r) {
    PhiloxStream test = ReplicationStream(S, condition, r);
    simulator.MakeTable(D, test);
    PhiloxStream words = ReplicationStream(S, condition, r);
    for (std::uint64_t d = 0; d < test.Draws(); ++d) out.push_back(words.NextWord());
    if (out.size() >= (1u << 16)) {
      if (std::fwrite(out.data(), sizeof out[0], out.size(), stdout) != out.size()) return 0;  // the reader is done
      out.clear();
    }
  }
  return 0;
}
