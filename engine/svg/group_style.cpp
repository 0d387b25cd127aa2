#include "svg/group_style.hpp"

#include <algorithm>
#include <array>

namespace quelmar {

namespace {

constexpr std::array<const char*, 24> BLACK_FILLS{
    "#003257", "#22136a", "#003b2e", "#003941", "#2d0d67", "#063400", "#3a045e", "#001f6c",
    "#1f434d", "#383b55", "#1f453f", "#1c4446", "#3d3953", "#344229", "#433750", "#2f3e55",
    "#000c4b", "#1a0065", "#002116", "#001d2f", "#1f0060", "#001900", "#270054", "#0a0067"};

constexpr std::array<const char*, 24> WHITE_FILLS{
    "#ffdb00", "#ff9dd4", "#ffb60b", "#ffa19d", "#ffc100", "#ffa57f", "#ffce00", "#ffae52",
    "#ffd687", "#ffbfd0", "#ffc99c", "#ffc1bb", "#ffcd92", "#ffc3b0", "#ffd18c", "#ffc6a4",
    "#aa8544", "#be7381", "#bb7b56", "#bf7570", "#b77e4e", "#bf7667", "#b18248", "#bd785d"};

// Rank of each drawn group of one colour list, by ascending seed.
std::vector<std::size_t> palette_ranks(const std::vector<VoronoiGroup>& groups) {
  std::vector<StoneId> seeds;
  for (const VoronoiGroup& g : groups)
    if (is_drawn(g))
      if (auto seed = g.color_seed()) seeds.push_back(*seed);
  std::sort(seeds.begin(), seeds.end());
  std::vector<std::size_t> ranks;
  for (const VoronoiGroup& g : groups) {
    std::size_t rank = 0;
    if (auto seed = g.color_seed())
      rank = static_cast<std::size_t>(std::lower_bound(seeds.begin(), seeds.end(), *seed) - seeds.begin());
    ranks.push_back(rank);
  }
  return ranks;
}

}  // namespace

bool is_drawn(const VoronoiGroup& group) {
  return std::any_of(group.rings.begin(), group.rings.end(), [](const Ring& r) { return !r.empty(); });
}

std::string group_label(Color color, std::size_t rank) {
  if (color == Color::Black) return std::to_string(rank + 1);
  std::string label(1, static_cast<char>('A' + rank % 26));
  if (rank >= 26) label += static_cast<char>('A' + (rank / 26 - 1) % 26);
  return label;
}

const char* group_fill(Color color, std::size_t rank) {
  return (color == Color::Black ? BLACK_FILLS : WHITE_FILLS)[rank % 24];
}

std::vector<StyledGroup> styled_groups(const Voronoi& voronoi) {
  std::vector<StyledGroup> out;
  for (const auto* list : {&voronoi.black, &voronoi.white}) {
    const std::vector<std::size_t> ranks = palette_ranks(*list);
    for (std::size_t i = 0; i < list->size(); ++i) {
      const VoronoiGroup& g = (*list)[i];
      if (!is_drawn(g)) continue;
      out.push_back({&g, GroupStyle{group_label(g.color, ranks[i]), group_fill(g.color, ranks[i])}});
    }
  }
  return out;
}

}  // namespace quelmar
