#include <gtest/gtest.h>

#include <limits>

#include "game/game.hpp"
#include "svg/group_style.hpp"
#include "svg/svg_writer.hpp"

using namespace quelmar;

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();

std::string svg_of(const Game& g) { return dump_svg(g.board_size(), g.alive_zone(), g.voronoi()); }

const char* EMPTY_18 =
    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"18\" height=\"18\" viewBox=\"0 0 18 18\">\n"
    "<defs>\n"
    "<g id=\"alive-zone-geometry\" stroke-width=\"inherit\" stroke-linecap=\"round\" stroke-linejoin=\"round\" "
    "fill=\"inherit\" stroke=\"inherit\">\n"
    "<path d=\"M 1.0,1.0  L 1.0,17.0 L 17.0,17.0 L 17.0,1.0 L 1.0,1.0 Z\" />\n"
    "</g>\n"
    "<pattern id=\"deadzone-hatch\" patternUnits=\"userSpaceOnUse\" width=\"0.4\" height=\"0.4\" "
    "patternTransform=\"rotate(-45)\">\n"
    "<rect width=\"0.2\" height=\"0.4\" fill=\"#808080\" fill-opacity=\"0.75\"/>\n"
    "<rect x=\"0.2\" width=\"0.2\" height=\"0.4\" fill=\"#808080\" fill-opacity=\"0.5\"/>\n"
    "</pattern>\n"
    "<mask id=\"deadzone-mask\">\n"
    "<rect width=\"18\" height=\"18\" fill=\"white\"/>\n"
    "<use href=\"#alive-zone-geometry\" fill=\"black\" stroke=\"black\" stroke-width=\"2\"/>\n"
    "</mask>\n"
    "</defs>\n"
    "<rect width=\"18\" height=\"18\" fill=\"#0e0e13\" stroke=\"none\"/>\n"
    "<rect width=\"18\" height=\"18\" fill=\"url(#deadzone-hatch)\" mask=\"url(#deadzone-mask)\"/>\n"
    "</svg>\n";

}  // namespace

TEST(Svg, EmptyBoardDocument) { EXPECT_EQ(svg_of(Game(18.0)), EMPTY_18); }

TEST(Svg, OneStoneAtFourFour) {
  Game game(18.0);
  ASSERT_TRUE(game.try_move({4.0, 4.0}).ok());
  const std::string doc = svg_of(game);
  EXPECT_NE(doc.find("<path d=\"M 1.0,1.0  L 1.0,17.0 L 17.0,17.0 L 17.0,1.0 L 1.0,1.0 Z\" />\n"), std::string::npos);
  EXPECT_NE(doc.find("<path d=\"M 18.0 0.0 L 18.0 18.0 L 0.0 18.0 L 0.0 0.0 L 18.0 0.0 Z\" fill=\"#003257\" "
                     "fill-rule=\"evenodd\"/>\n") ,
            std::string::npos)
      << doc;
  EXPECT_NE(doc.find("<circle cx=\"4\" cy=\"4\" r=\"0.95\" fill=\"#2e2e35\" stroke=\"#868688\" stroke-width=\"0.1\"/>\n"
                     "<text x=\"4\" y=\"4\" dy=\"0.33em\" text-anchor=\"middle\" font-size=\"0.9\" "
                     "font-weight=\"700\" fill=\"#868688\">1</text>\n</svg>\n"),
            std::string::npos)
      << doc;
}

TEST(Svg, StoneNearTheLeftEdgeCutsTheOutline) {
  Game game(18.0);
  ASSERT_TRUE(game.try_move({2.0, 9.0}).ok());
  EXPECT_EQ(outline_path_data(game.alive_zone().graph()),
            "M 1.0,1.0  L 1.0,7.3 A 2.0,2.0 0 1 1 1.0,10.7 L 1.0,17.0 L 17.0,17.0 L 17.0,1.0 L 1.0,1.0 Z");
}

TEST(Svg, FractionalBoardSizeAndOneDecimalText) {
  EXPECT_NE(svg_of(Game(18.5)).find("width=\"18.5\" height=\"18.5\" viewBox=\"0 0 18.5 18.5\""), std::string::npos);
  EXPECT_EQ(one_decimal_text(-0.0), "0.0");
  EXPECT_EQ(one_decimal_text(-0.04), "-0.0");
  EXPECT_EQ(one_decimal_text(0.25), "0.2");  // ties to even
  EXPECT_EQ(one_decimal_text(0.45), "0.5");  // the binary value lies above the tie
  EXPECT_EQ(one_decimal_text(17.0), "17.0");
  EXPECT_EQ(one_decimal_text(NaN), "NaN");
  EXPECT_EQ(one_decimal_text(-NaN), "NaN");
  EXPECT_EQ(one_decimal_text(Inf), "inf");
  EXPECT_EQ(one_decimal_text(-Inf), "-inf");
}

TEST(Svg, NonFiniteBoardsWriteNumberTextsNotLibcSpellings) {
  for (double size : {NaN, -NaN, Inf, -Inf}) {
    const std::string doc = svg_of(Game(size));
    EXPECT_EQ(doc.find("nan"), std::string::npos) << doc;
    EXPECT_EQ(doc.find("INF"), std::string::npos) << doc;
  }
  EXPECT_NE(svg_of(Game(NaN)).find("L 1.0,NaN"), std::string::npos);
}

TEST(Svg, LabelsAndPalettes) {
  EXPECT_EQ(group_label(Color::Black, 0), "1");
  EXPECT_EQ(group_label(Color::Black, 24), "25");
  EXPECT_STREQ(group_fill(Color::Black, 24), "#003257");
  EXPECT_STREQ(group_fill(Color::White, 0), "#ffdb00");
  EXPECT_EQ(group_label(Color::White, 0), "A");
  EXPECT_EQ(group_label(Color::White, 25), "Z");
  EXPECT_EQ(group_label(Color::White, 26), "AA");
  EXPECT_EQ(group_label(Color::White, 27), "BA");
  EXPECT_EQ(group_label(Color::White, 51), "ZA");
  EXPECT_EQ(group_label(Color::White, 52), "AB");
  EXPECT_EQ(group_label(Color::White, 702), "AA");
}

TEST(Svg, ForcedEyesAreDrawnInKeyOrder) {
  Game game(18.0);
  AliveZone& zone = const_cast<AliveZone&>(game.alive_zone());
  zone.add_forced_eye({5.5, 3.0});
  zone.add_forced_eye({2.0, 3.0});
  const std::string doc = svg_of(game);
  auto first = doc.find("<circle cx=\"2\" cy=\"3\" r=\"1\" stroke=\"none\"/>");
  auto second = doc.find("<circle cx=\"5.5\" cy=\"3\" r=\"1\" stroke=\"none\"/>");
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(second, std::string::npos);
  EXPECT_LT(first, second);
}
