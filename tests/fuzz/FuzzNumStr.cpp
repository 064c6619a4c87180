// NumStr with any double, width 0..300 and decimals −1..300: it never crashes, never
// cuts the field, and its text reads back as the value to the printed precision.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "numeric/NumStr.h"

namespace {

[[noreturn]] void Fail(const char* what, double x, int w, int d, const std::string& s) {
  std::fprintf(stderr, "NumStr(%.17g, %d, %d) = \"%s\": %s\n", x, w, d, s.c_str(), what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 12) return 0;
  double x;
  std::memcpy(&x, data, sizeof x);
  std::uint16_t wr, dr;
  std::memcpy(&wr, data + 8, 2);
  std::memcpy(&dr, data + 10, 2);
  const int w = wr % 301;
  const int d = static_cast<int>(dr % 302) - 1;
  const std::string s = veltrano::NumStr(x, w, d);

  if (static_cast<int>(s.size()) < (w < 255 ? w : 255)) Fail("shorter than the field", x, w, d, s);
  if (std::isnan(x)) {
    if (s.substr(s.size() - 3) != "Nan") Fail("not Nan", x, w, d, s);
    return 0;
  }
  if (std::isinf(x)) {
    if (s.substr(s.size() - 4) != (x > 0 ? "+Inf" : "-Inf")) Fail("not Inf", x, w, d, s);
    return 0;
  }
  // Read back in extended precision (a value rounded up may lie beyond the doubles),
  // allowing one unit in the last place of x besides the printed precision.
  const long double back = std::strtold(s.c_str(), nullptr);
  const long double ulp = std::fabs(x) * 0x1p-52L + 0x1p-1074L;
  const std::size_t e = s.find('E');
  long double allowed;
  if (e == std::string::npos) {
    const int shown = d > 216 ? 216 : d;
    allowed = 0.5L * std::pow(10.0L, -shown) * (1 + 1e-9L) + ulp;
  } else {
    const int W = w > 255 ? 255 : (w > 10 ? w : 10);
    const int digits = W - 8 < 18 ? W - 8 : 18;
    allowed = std::fabs(x) * 0.5L * std::pow(10.0L, 1 - digits) * (1 + 1e-9L) + ulp;
  }
  if (!(std::fabs(back - static_cast<long double>(x)) <= allowed)) Fail("does not read back to the printed precision", x, w, d, s);
  return 0;
}
