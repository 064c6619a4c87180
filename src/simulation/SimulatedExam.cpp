#include "simulation/SimulatedExam.h"

#include <cmath>

#include "numeric/Extended.h"
#include "numeric/NumStr.h"
#include "simulation/TVector.h"

namespace veltrano {

void AppendZeroPad(std::string& out, std::int64_t value, int width) {
  char digits[24];
  int len = 0;
  do {
    digits[len++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  int zeros = width - len;
  if (zeros > 14) zeros = 14;  // the zeros come from a 14-character text
  if (zeros > 0) out.append(static_cast<std::size_t>(zeros), '0');
  while (len > 0) out.push_back(digits[--len]);
}

std::string ZeroPad(std::int64_t value, int width) {
  std::string s;
  AppendZeroPad(s, value, width);
  return s;
}

namespace {

// x rounded to the nearest integer, ties to even, for |x| < 2^51: adding and
// subtracting 1.5·2^52 leaves no bits below the units, and IEEE addition rounds to
// nearest even. (Much cheaper than the library's nearbyint; correct as long as the
// build keeps IEEE semantics, which it does: no -ffast-math.)
inline double RoundHalfEven(double x) {
  constexpr double kShift = 6755399441055744.0;  // 1.5 · 2^52
  return (x + kShift) - kShift;
}

}  // namespace

std::int32_t UniformToInt(std::int32_t a, std::int32_t b, double u) {
  const std::int64_t span = static_cast<std::int64_t>(b) - a + 1;
  std::int32_t r;
  if (span <= (std::int64_t{1} << 20) && a > -(1 << 20) && a < (1 << 20)) {
    // u has at most 32 significant bits: (a − 0.5) + span·u is exact in a double.
    r = static_cast<std::int32_t>(RoundHalfEven((a - 0.5) + static_cast<double>(span) * u));
  } else {
    const Extended x = (Extended(a) - Extended(0.5)) + Extended(span) * Extended(u);
    r = ToInt32(NearbyInt(x));  // ties to even
  }
  return r < a ? a : r;  // u = 0 gives a − 0.5, which would round below a
}

template <TestUniform G>
std::int32_t RandomInt(std::int32_t a, std::int32_t b, G& rng) {
  return UniformToInt(a, b, rng.Draw());
}

namespace {

// The traced choice: the k−1 values go into a vector that is sorted and written out.
template <TestUniform G>
std::int32_t TracedChoice(std::int32_t k, std::string& trace, G& rng) {
  const std::int32_t m = k - 1;
  TVector V;
  V.SetNrOfElem(m);
  for (std::int32_t j = 1; j <= m; ++j) V.SetVal(j, rng.Draw());
  V.SortElems(true, 1, m);
  trace.clear();
  for (std::int32_t j = 1; j <= m; ++j) {
    trace.push_back('\t');
    AppendNumStr(trace, V.GetVal(j), 6, 3);
  }
  const double u = rng.Draw();
  std::int32_t p = 0;
  for (std::int32_t j = 1; j <= m; ++j)
    if (V.GetVal(j) < u) p = j;
  ++p;
  trace.append("\t[");
  AppendNumStr(trace, u, 6, 3);
  trace.append(" -> ");
  trace.append(std::to_string(p));
  trace.push_back(']');
  return p;
}

// Without a trace the order of the k − 1 values is never seen, and one plus the count
// of values strictly below u is the position u takes among them sorted: the same
// draws in the same order and the same result as the traced choice, without sorting.
template <TestUniform G>
inline std::int32_t UntracedChoice(std::int32_t k, G& g) {
  constexpr std::int32_t kMost = 16;
  if (k - 1 > kMost) {
    std::string unused;
    return TracedChoice(k, unused, g);
  }
  double v[kMost];
  const std::int32_t m = k - 1;
  for (std::int32_t j = 0; j < m; ++j) v[j] = g.Draw();
  const double u = g.Draw();
  std::int32_t p = 1;
  for (std::int32_t j = 0; j < m; ++j) p += v[j] < u;
  return p;
}

}  // namespace

template <TestUniform G>
std::int32_t InverseTransformChoice(std::int32_t k, std::string* trace, G& rng) {
  return trace != nullptr ? TracedChoice(k, *trace, rng) : UntracedChoice(k, rng);
}

std::int32_t KnownCount(std::int32_t n, std::int32_t D) {
  const Extended share = Extended(D) / Extended(100.0);
  const Extended product = Extended(n) * share;
  return ToInt32(NearbyInt(product));  // ties to even
}

std::string KnownPlaceholder(std::int32_t k) {
  std::string s;
  for (std::int32_t j = 1; j < k; ++j) s.append("\t--");
  return s;
}

namespace {

template <TestUniform G>
void AppendKey(std::string& line, std::int32_t i, bool sortKnown, G& rng) {
  if (sortKnown) {
    AppendZeroPad(line, i, 3);
  } else {
    // A random key 0..1000; sorting the listing by it shuffles the items.
    const auto r = static_cast<std::int64_t>(RoundHalfEven(rng.Draw() * 1000.0));
    AppendZeroPad(line, r, 3);
  }
}

void AppendPositions(std::string& line, const item& it) {
  line.push_back('\t');
  line.append(std::to_string(it.pos_acorrecta));
  line.push_back('\t');
  line.append(std::to_string(it.pos_aelegida));
}

}  // namespace

namespace {

// Without a listing no key is drawn and no trace is written. These loops make the same
// draws in the same order as the listed ones; they keep the table in locals, and the
// linear congruential generator too, so the item stores cannot alias them and every draw
// stays in registers. A Philox stream (a buffer of words, larger than a copy is worth) is
// drawn from in place.
template <TestUniform G>
struct LocalGenerator {
  explicit LocalGenerator(G& g) noexcept : g(g) {}
  G& g;
};
template <>
struct LocalGenerator<UniformGenerator> {
  explicit LocalGenerator(UniformGenerator& from) noexcept : g(from), from(from) {}
  ~LocalGenerator() { from = g; }
  LocalGenerator(const LocalGenerator&) = delete;
  LocalGenerator& operator=(const LocalGenerator&) = delete;
  UniformGenerator g;
  UniformGenerator& from;
};
template <TestUniform G>
void KnownUnlisted(std::int32_t n_conocido, std::int32_t k, item* items, tBfMatriz& Tabla, G& rng) {
  LocalGenerator<G> local(rng);
  G& g = local.g;
  double* const cells = Tabla.X[0];
  const std::ptrdiff_t stride = Tabla.X.Cols();
  for (std::int32_t i = 1; i <= n_conocido; ++i) {
    const std::int32_t c = UniformToInt(1, k, g.Draw());
    items[i] = item{1, 1, c, c};
    cells[c * stride + c] += 1;
  }
}

template <TestUniform G>
void RemainingUnlisted(std::int32_t from, std::int32_t n, std::int32_t k, item* items, tBfMatriz& Tabla, G& rng) {
  LocalGenerator<G> local(rng);
  G& g = local.g;
  double* const cells = Tabla.X[0];
  const std::ptrdiff_t stride = Tabla.X.Cols();
  for (std::int32_t i = from; i <= n; ++i) {
    const std::int32_t chosen = UntracedChoice(k, g);
    const std::int32_t correct = UntracedChoice(k, g);
    std::int32_t marked = correct;
    if (chosen != 1) {
      do {
        marked = UntracedChoice(k, g);
      } while (marked == correct);
    }
    items[i] = item{1, chosen, correct, marked};
    cells[correct * stride + marked] += 1;
  }
}

}  // namespace

template <TestUniform G>
void TestGeneration::KnownItemsPhase(std::int32_t n_conocido, std::vector<item>& items, tBfMatriz& Tabla,
                                     G& rng) const {
  if (listing == nullptr) {
    KnownUnlisted(n_conocido, k, items.data(), Tabla, rng);
    return;
  }
  for (std::int32_t i = 1; i <= n_conocido; ++i) {
    item& it = items[static_cast<std::size_t>(i)];
    it.alt_correcta = 1;
    it.alt_elegida = 1;
    const std::int32_t c = RandomInt(1, k, rng);
    it.pos_acorrecta = c;
    it.pos_aelegida = c;
    Tabla.X[c][c] += 1;
    std::string line;
    AppendKey(line, i, sortKnown, rng);
    AppendPositions(line, it);
    line.append(placeholder);
    line.append("\t[ known ]");
    listing->push_back(std::move(line));
  }
}

template <TestUniform G>
void TestGeneration::RemainingItemsPhase(std::int32_t n_conocido, std::vector<item>& items, tBfMatriz& Tabla,
                                         G& rng) const {
  if (listing == nullptr) {
    RemainingUnlisted(n_conocido + 1, n, k, items.data(), Tabla, rng);
    return;
  }
  std::string trace;
  std::string* const tr = &trace;
  for (std::int32_t i = n_conocido + 1; i <= n; ++i) {
    item& it = items[static_cast<std::size_t>(i)];
    it.alt_correcta = 1;
    it.alt_elegida = InverseTransformChoice(k, tr, rng);
    it.pos_acorrecta = InverseTransformChoice(k, tr, rng);
    if (it.alt_elegida == it.alt_correcta) {
      it.pos_aelegida = it.pos_acorrecta;
    } else {
      // A wrong answer: any position but the correct one, each equally likely.
      do {
        it.pos_aelegida = InverseTransformChoice(k, tr, rng);
      } while (it.pos_aelegida == it.pos_acorrecta);
    }
    Tabla.X[it.pos_acorrecta][it.pos_aelegida] += 1;
    std::string line;
    AppendKey(line, i, sortKnown, rng);
    AppendPositions(line, it);
    line.append(trace);
    listing->push_back(std::move(line));
  }
}

#define VELTRANO_DRAWING_FROM(G)                                                                            \
  template std::int32_t RandomInt(std::int32_t, std::int32_t, G&);                                         \
  template std::int32_t InverseTransformChoice(std::int32_t, std::string*, G&);                            \
  template void TestGeneration::KnownItemsPhase(std::int32_t, std::vector<item>&, tBfMatriz&, G&) const;   \
  template void TestGeneration::RemainingItemsPhase(std::int32_t, std::vector<item>&, tBfMatriz&, G&) const;
VELTRANO_DRAWING_FROM(UniformGenerator)
VELTRANO_DRAWING_FROM(PhiloxStream)
#undef VELTRANO_DRAWING_FROM

}  // namespace veltrano
