#include "voronoi/exact_predicates.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <utility>

namespace quelmar {

namespace {

// Error-free transformations (Dekker, Knuth). They rely on strict IEEE
// evaluation: no contraction into fused multiply-adds, no reassociation.
constexpr double SPLITTER = 134217729.0;  // 2^27 + 1

inline void two_sum(double a, double b, double& x, double& y) {
  x = a + b;
  const double bv = x - a;
  const double av = x - bv;
  y = (a - av) + (b - bv);
}

inline void fast_two_sum(double a, double b, double& x, double& y) {
  x = a + b;
  y = b - (x - a);
}

inline void two_diff(double a, double b, double& x, double& y) {
  x = a - b;
  const double bv = a - x;
  const double av = x + bv;
  y = (a - av) + (bv - b);
}

inline void split(double a, double& hi, double& lo) {
  const double c = SPLITTER * a;
  hi = c - (c - a);
  lo = a - hi;
}

inline void two_product(double a, double b, double& x, double& y) {
  x = a * b;
  double ahi, alo, bhi, blo;
  split(a, ahi, alo);
  split(b, bhi, blo);
  const double err1 = x - ahi * bhi;
  const double err2 = err1 - alo * bhi;
  const double err3 = err2 - ahi * blo;
  y = alo * blo - err3;
}

// A nonoverlapping expansion: components in increasing magnitude, their sum
// the exact value. Never empty; zero is the single component 0.
template <std::size_t N>
struct Expansion {
  std::array<double, N> c;
  std::size_t n = 0;

  double sign_value() const { return c[n - 1]; }
  // Capacities are sized for the worst case; the check only keeps a wrong
  // size from writing past the buffer.
  void push(double v) {
    if (n < N) c[n++] = v;
  }
};

// h = e + f, zero components dropped (Shewchuk's fast expansion sum).
// Indices are checked before every read: no look-ahead past the end.
// Holds at most e.n + f.n components; callers size H for that.
template <std::size_t A, std::size_t B, std::size_t H>
void add(const Expansion<A>& e, const Expansion<B>& f, Expansion<H>& h) {
  std::size_t i = 0, j = 0;
  h.n = 0;
  auto take = [&]() {
    const bool from_e = j == f.n || (i < e.n && ((f.c[j] > e.c[i]) == (f.c[j] > -e.c[i])));
    return from_e ? e.c[i++] : f.c[j++];
  };
  double q = take();
  double qnew, hh;
  while (i < e.n || j < f.n) {
    two_sum(q, take(), qnew, hh);
    q = qnew;
    if (hh != 0.0) h.push(hh);
  }
  if (q != 0.0 || h.n == 0) h.push(q);
}

// h = e * b, zero components dropped.
template <std::size_t A, std::size_t H>
void scale(const Expansion<A>& e, double b, Expansion<H>& h) {
  static_assert(H >= 2 * A);
  double q, hh, p1, p0, sum;
  h.n = 0;
  two_product(e.c[0], b, q, hh);
  if (hh != 0.0) h.push(hh);
  for (std::size_t i = 1; i < e.n; ++i) {
    two_product(e.c[i], b, p1, p0);
    two_sum(q, p0, sum, hh);
    if (hh != 0.0) h.push(hh);
    fast_two_sum(p1, sum, q, hh);
    if (hh != 0.0) h.push(hh);
  }
  if (q != 0.0 || h.n == 0) h.push(q);
}

template <std::size_t A>
void negate(Expansion<A>& e) {
  for (std::size_t i = 0; i < e.n; ++i) e.c[i] = -e.c[i];
}

// h = e * f, summing one scaled copy of e per component of f.
template <std::size_t A, std::size_t B, std::size_t H>
void multiply(const Expansion<A>& e, const Expansion<B>& f, Expansion<H>& h) {
  static_assert(H >= 2 * A * B);
  Expansion<2 * A> part;
  Expansion<H> spare;
  Expansion<H>* sum = &h;
  Expansion<H>* other = &spare;
  scale(e, f.c[0], *sum);
  for (std::size_t j = 1; j < f.n; ++j) {
    scale(e, f.c[j], part);
    add(*sum, part, *other);
    std::swap(sum, other);
  }
  if (sum != &h) {
    for (std::size_t i = 0; i < sum->n; ++i) h.c[i] = sum->c[i];
    h.n = sum->n;
  }
}

Expansion<2> difference(double a, double b) {
  Expansion<2> e;
  double x, y;
  two_diff(a, b, x, y);
  if (y != 0.0) e.push(y);
  e.push(x);
  return e;
}

// p * q - r * s, exactly.
Expansion<16> cross_terms(const Expansion<2>& p, const Expansion<2>& q, const Expansion<2>& r,
                          const Expansion<2>& s) {
  Expansion<8> left, right;
  multiply(p, q, left);
  multiply(r, s, right);
  negate(right);
  Expansion<16> out;
  add(left, right, out);
  return out;
}

Expansion<16> squared_length(const Expansion<2>& dx, const Expansion<2>& dy) {
  Expansion<8> xx, yy;
  multiply(dx, dx, xx);
  multiply(dy, dy, yy);
  Expansion<16> out;
  add(xx, yy, out);
  return out;
}

// The exact sums stay exact while products neither overflow nor underflow.
// Outside a safe band of magnitudes the points are scaled by a power of two
// (which changes no sign) before they are differenced.
constexpr double ORIENT_HIGH = 0x1p+500, INCIRCLE_HIGH = 0x1p+240, LOW = 0x1p-200;

template <class... P>
int rescale_exponent(double high, P... points) {
  double m = 0.0;
  ((m = std::max(m, std::max(std::fabs(points.x), std::fabs(points.y)))), ...);
  if (!std::isfinite(m) || m == 0.0 || (m <= high && m >= LOW)) return 0;
  return -std::ilogb(m);
}

Point rescaled(Point p, int k) { return {std::ldexp(p.x, k), std::ldexp(p.y, k)}; }

}  // namespace

double orient2d_exact(Point a, Point b, Point c) {
  if (const int k = rescale_exponent(ORIENT_HIGH, a, b, c)) {
    a = rescaled(a, k);
    b = rescaled(b, k);
    c = rescaled(c, k);
  }
  const Expansion<2> acx = difference(a.x, c.x), acy = difference(a.y, c.y);
  const Expansion<2> bcx = difference(b.x, c.x), bcy = difference(b.y, c.y);
  return cross_terms(acx, bcy, acy, bcx).sign_value();
}

double incircle_exact(Point a, Point b, Point c, Point d) {
  if (const int k = rescale_exponent(INCIRCLE_HIGH, a, b, c, d)) {
    a = rescaled(a, k);
    b = rescaled(b, k);
    c = rescaled(c, k);
    d = rescaled(d, k);
  }
  const Expansion<2> adx = difference(a.x, d.x), ady = difference(a.y, d.y);
  const Expansion<2> bdx = difference(b.x, d.x), bdy = difference(b.y, d.y);
  const Expansion<2> cdx = difference(c.x, d.x), cdy = difference(c.y, d.y);
  Expansion<512> ta, tb, tc;
  multiply(squared_length(adx, ady), cross_terms(bdx, cdy, cdx, bdy), ta);
  multiply(squared_length(bdx, bdy), cross_terms(cdx, ady, adx, cdy), tb);
  multiply(squared_length(cdx, cdy), cross_terms(adx, bdy, bdx, ady), tc);
  Expansion<1024> ab;
  add(ta, tb, ab);
  Expansion<1536> det;
  add(ab, tc, det);
  return det.sign_value();
}

}  // namespace quelmar
