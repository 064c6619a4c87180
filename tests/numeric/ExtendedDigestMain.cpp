// Prints the digest of the extended operations computed with this build's Extended
// (SoftExtended where long double is not the 80-bit format) and fails when it is not
// the one the x86-64 build gets with long double. Built by hand for WebAssembly:
//   em++ -O2 -std=c++20 -sSINGLE_FILE=1 -Isrc -Itests/numeric
//        src/numeric/Extended.cpp tests/numeric/ExtendedDigestMain.cpp -o digest.js
//   node digest.js
#include <cinttypes>
#include <cstdio>

#include "ExtendedDigest.h"

int main() {
  using namespace veltrano::extended_digest;
  const std::uint64_t digest = Digest<veltrano::Extended>(kDigestSteps);
  std::printf("extended digest %016" PRIx64 " (%s), expected %016" PRIx64 "\n", digest,
              VELTRANO_EXTENDED_IS_LONG_DOUBLE ? "long double" : "SoftExtended", kExtendedDigest);
  return digest == kExtendedDigest ? 0 : 1;
}
