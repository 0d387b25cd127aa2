#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "geometry/angles.hpp"
#include "geometry/number_text.hpp"
#include "geometry/point.hpp"
#include "geometry/predicates.hpp"
#include "geometry/shapes.hpp"

using namespace quelmar;

namespace {
const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();
}  // namespace

TEST(PointKey, FoldsNegativeZeroButNothingElse) {
  EXPECT_EQ(PointKey::from({-0.0, 1.0}), PointKey::from({0.0, 1.0}));
  EXPECT_NE(PointKey::from({1.0, 2.0}), PointKey::from({std::nextafter(1.0, 2.0), 2.0}));
  EXPECT_TRUE((Point{NaN, 1.0} == Point{NaN, 1.0}));
  EXPECT_FALSE((Point{NaN, 1.0} == Point{-NaN, 1.0}));
}

TEST(Angles, NormaliseAndClamp) {
  EXPECT_DOUBLE_EQ(normalize_angle({0.0, -1.0}), 1.5 * PI);
  EXPECT_EQ(normalize_angle({1.0, 0.0}), 0.0);
  EXPECT_TRUE(std::signbit(normalize_angle({1.0, -0.0})));  // negative zero stays
  EXPECT_TRUE(angle_in_arc(0.1, 6.0, 0.5));                 // wrapping arc
  EXPECT_TRUE(angle_in_arc(1.0, 1.0, 2.0));                 // inclusive ends
  EXPECT_FALSE(angle_in_arc(3.0, 1.0, 2.0));
  // Equidistant outside point snaps to the end angle.
  EXPECT_EQ(clamp_angle_to_arc(PI + 1.5, 1.0, 2.0), 2.0);
  EXPECT_EQ(clamp_angle_to_arc(0.9, 1.0, 2.0), 1.0);
  EXPECT_EQ(clamp_angle_to_arc(6.2, 1.0, 2.0), 1.0);  // the short way round
  EXPECT_EQ(clamp_angle_to_arc(NaN, 1.0, 2.0), 2.0);
}

TEST(Segments, ZeroLengthAndNaN) {
  Point a{3, 4};
  EXPECT_EQ(closest_on_segment({9, 9}, a, a), a);
  EXPECT_EQ(Span::of_line(a, a).closest_point({-5, 2}), a);
  EXPECT_EQ(closest_on_segment({5, 7}, {0, 0}, {10, 0}), (Point{5, 0}));
  EXPECT_EQ(closest_on_segment({-5, 7}, {0, 0}, {10, 0}), (Point{0, 0}));
  EXPECT_EQ(closest_on_segment({15, 7}, {0, 0}, {10, 0}), (Point{10, 0}));
  Point q = closest_on_segment({NaN, 0}, {0, 0}, {10, 0});
  EXPECT_TRUE(std::isnan(q.x));
}

TEST(Segments, DistanceBetweenSegments) {
  LineSegment s{{0, 0}, {2, 0}};
  EXPECT_EQ(s.distance_to({{2, 0}, {3, 5}}), 0.0);    // shared end point
  EXPECT_EQ(s.distance_to({{1, -1}, {1, 1}}), 0.0);   // crossing
  EXPECT_EQ(s.distance_to({{0, 1}, {2, 1}}), 1.0);    // parallel, one apart
  EXPECT_EQ(s.distance_to({{1, 0}, {5, 0}}), 0.0);    // collinear overlap
  EXPECT_EQ(s.distance_to({{NaN, 0}, {1, 3}}), 3.0);  // NaN candidates skipped
}

TEST(Arcs, DistanceToSegment) {
  Arc upper{{0, 0}, 2.0, 0.0, PI};
  EXPECT_NEAR(upper.distance_to_segment({{-5, 3}, {5, 3}}), 1.0, 1e-15);
  EXPECT_NEAR(upper.distance_to_segment({{-5, -3}, {5, -3}}), 3.0, 1e-15);  // to the ends
  Arc wrap{{0, 0}, 1.0, 1.5 * PI, 0.5 * PI};  // right half, through angle 0
  EXPECT_NEAR(wrap.distance_to_segment({{3, -1}, {3, 1}}), 2.0, 1e-15);
  EXPECT_EQ(wrap.distance_to_segment({{1, -1}, {1, 1}}), 0.0);
}

TEST(Arcs, SpanClosestPoint) {
  Span arc = Span::of_arc({{0, 0}, 2.0, 0.0, 0.5 * PI});
  Point p = arc.closest_point({3, 3});
  EXPECT_NEAR(p.x, std::sqrt(2.0), 1e-15);
  EXPECT_NEAR(p.y, std::sqrt(2.0), 1e-15);
  EXPECT_EQ(arc.closest_point({0, 0}), (Point{2, 0}));  // centre: atan2(0,0) = 0
  Point q = arc.closest_point({-3, -0.1});             // outside, nearer the end
  EXPECT_NEAR(q.x, 0.0, 1e-15);
  EXPECT_EQ(q.y, 2.0);
}

TEST(PointInPolygon, HalfOpenRule) {
  std::vector<Point> square{{0, 0}, {4, 0}, {4, 4}, {0, 4}};
  EXPECT_TRUE(point_in_polygon(square, {2, 2}));
  EXPECT_TRUE(point_in_polygon(square, {0, 2}));   // left edge counts
  EXPECT_FALSE(point_in_polygon(square, {4, 2}));  // right edge does not
  EXPECT_TRUE(point_in_polygon(square, {2, 0}));   // bottom edge counts
  EXPECT_FALSE(point_in_polygon(square, {2, 4}));  // top edge does not
  std::vector<Point> two{{0, 0}, {4, 4}};
  EXPECT_FALSE(point_in_polygon(two, {2, 2}));
  EXPECT_FALSE(point_in_polygon(square, {NaN, 2}));
}

TEST(NumberText, PlainAndRepr) {
  EXPECT_EQ(plain_number_text(4.0), "4");
  EXPECT_EQ(plain_number_text(4.5), "4.5");
  EXPECT_EQ(plain_number_text(-0.0), "-0");
  EXPECT_EQ(plain_number_text(1e21), "1000000000000000000000");
  EXPECT_EQ(plain_number_text(NaN), "NaN");
  EXPECT_EQ(plain_number_text(Inf), "inf");
  EXPECT_EQ(plain_number_text(-Inf), "-inf");
  EXPECT_EQ(plain_number_text(0.1), "0.1");
  EXPECT_EQ(plain_number_text(5e-324).size(), 326u);
  EXPECT_EQ(repr_number_text(4.0), "4.0");
  EXPECT_EQ(repr_number_text(-0.0), "-0.0");
  EXPECT_EQ(repr_number_text(1e-5), "1e-5");
  EXPECT_EQ(repr_number_text(1.5e16), "1.5e16");
  EXPECT_EQ(repr_number_text(1e16), "1e16");
  EXPECT_EQ(repr_number_text(0.0001), "0.0001");
  EXPECT_EQ(repr_number_text(9999999999999998.0), "9999999999999998.0");
  EXPECT_EQ(repr_number_text(-2.5e-300), "-2.5e-300");
  EXPECT_EQ(repr_number_text(NaN), "NaN");
  EXPECT_EQ(point_diagnostic_text({4.0, 2.5}), "Point { x: 4.0, y: 2.5 }");
  EXPECT_EQ(plain_position_text({-1.0, 2.5}), "(-1, 2.5)");
}

// Past 2^53 a whole double's exact binary expansion has more digits than
// it takes to read it back; the texts print the shortest digits and pad.
TEST(NumberText, HugeWholeValuesPrintShortestDigitsPaddedWithZeros) {
  EXPECT_EQ(plain_number_text(0x1p60), "1152921504606847000");
  EXPECT_EQ(plain_number_text(0x1p70), "1180591620717411300000");
  EXPECT_EQ(plain_number_text(1e23), "100000000000000000000000");
  EXPECT_EQ(plain_number_text(-1e23), "-100000000000000000000000");
  EXPECT_EQ(plain_number_text(1e300), "1" + std::string(300, '0'));
  EXPECT_EQ(plain_number_text(0x1p53), "9007199254740992");
  EXPECT_EQ(plain_number_text(0x1p53 + 2), "9007199254740994");
  EXPECT_EQ(plain_number_text(0x1p53 - 1), "9007199254740991");
  EXPECT_EQ(plain_number_text(1.5e-7), "0.00000015");
  EXPECT_EQ(plain_number_text(5e-324), "0." + std::string(323, '0') + "5");
  EXPECT_EQ(plain_number_text(123.456), "123.456");
  EXPECT_EQ(repr_number_text(9007199254740994.0), "9007199254740994.0");
  EXPECT_EQ(repr_number_text(1e23), "1e23");
}
