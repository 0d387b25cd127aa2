#include "alive_zone/shape_index.hpp"

#include "room.hpp"

#include <algorithm>

namespace quelmar {

namespace {

constexpr double TARGET_CELL = 2.5;
// Free slots per cell when the array is laid out: a probe's circle, and a
// committed stone or two, file without moving anything else.
constexpr std::uint32_t SPARE = 2;
constexpr std::size_t MAX_CELLS = 128;  // per side: a copy of the game copies the grid

}  // namespace

Box Box::of_points(const std::vector<Point>& points) {
  const double inf = std::numeric_limits<double>::infinity();
  Box b{inf, inf, -inf, -inf};
  for (Point p : points) {
    // A NaN coordinate poisons the box, so that nothing trusts it.
    if (p.x != p.x || p.y != p.y) return {p.x + p.y, 0.0, 0.0, 0.0};
    b.x0 = std::min(b.x0, p.x);
    b.y0 = std::min(b.y0, p.y);
    b.x1 = std::max(b.x1, p.x);
    b.y1 = std::max(b.y1, p.y);
  }
  return b;
}

ShapeIndex::ShapeIndex(double board_size) {
  if (!(board_size >= 1.0 && board_size <= 1e6)) return;
  const double wanted = std::ceil(board_size / TARGET_CELL);
  cells_ = std::clamp(static_cast<std::size_t>(wanted), std::size_t{1}, MAX_CELLS);
  cell_size_ = board_size / static_cast<double>(cells_);
  inverse_cell_ = static_cast<double>(cells_) / board_size;
  // Far beyond any position play or its queries reach; rounding on values
  // this size stays near 1e-16 · reach, a hundred million times below the
  // slack.
  reach_ = 4.0 * board_size + 16.0;
  slack_ = 1e-8 * reach_;
  start_.assign(cells_ * cells_ + 1, 0);
  used_.assign(cells_ * cells_, 0);
  exposed_.assign(cells_ * cells_, 0);
  whole_.assign(cells_ * cells_, 0);
}

void ShapeIndex::count_marks(std::size_t cell, const FiledCircle& f, int sign) {
  exposed_[cell] += static_cast<std::uint32_t>(sign * (f.exposed ? 1 : 0));
  whole_[cell] += static_cast<std::uint32_t>(sign * (f.whole ? 1 : 0));
}

void ShapeIndex::disable() { *this = ShapeIndex{}; }

std::optional<std::size_t> ShapeIndex::cell_for(const ShapeGeometry& geometry) const {
  const CircleGeometry* c = as_circle(geometry);
  if (!c || !tame(c->centre) || !(c->radius >= 0.0 && c->radius <= MAX_RADIUS)) return std::nullopt;
  return cell_of(c->centre.y) * cells_ + cell_of(c->centre.x);
}

// An overflow this long is filed into the array's cells.
constexpr std::size_t OVERFLOW = 4;

FiledCircle* ShapeIndex::find_in(std::size_t cell, ShapeId id) {
  for (FiledCircle& f : overflow_)
    if (f.id == id) return &f;
  FiledCircle* first = filed_.data() + start_[cell];
  FiledCircle* last = first + used_[cell];
  FiledCircle* at = std::lower_bound(first, last, id, [](const FiledCircle& f, ShapeId v) { return f.id < v; });
  return at != last && at->id == id ? at : nullptr;
}

std::size_t ShapeIndex::gridded_count() const {
  std::size_t n = overflow_.size();
  for (std::uint32_t u : used_) n += u;
  return n;
}

void ShapeIndex::regrow() {
  const std::size_t cells = used_.size();
  std::vector<std::uint32_t> wanted(used_);
  for (const FiledCircle& f : overflow_) ++wanted[cell_of_filed(f)];
  std::size_t total = 0;
  for (std::uint32_t u : wanted) total += u + (u > 0 ? SPARE : 0);
  std::vector<FiledCircle> laid(total);
  std::vector<std::uint32_t> start(cells + 1, 0);
  std::size_t w = 0;
  for (std::size_t k = 0; k < cells; ++k) {
    start[k] = static_cast<std::uint32_t>(w);
    std::copy(filed_.begin() + start_[k], filed_.begin() + start_[k] + used_[k], laid.begin() + static_cast<std::ptrdiff_t>(w));
    w += wanted[k] + (wanted[k] > 0 ? SPARE : 0);
  }
  start[cells] = static_cast<std::uint32_t>(w);
  filed_.swap(laid);
  start_.swap(start);
  // An overflow circle may be older than one filed into its cell since (a
  // slot freed there meanwhile): each cell is put back in id order.
  for (const FiledCircle& f : overflow_) {
    const std::size_t k = cell_of_filed(f);
    FiledCircle* first = filed_.data() + start_[k];
    FiledCircle* last = first + used_[k]++;
    *last = f;
    std::rotate(std::upper_bound(first, last, f.id, [](ShapeId v, const FiledCircle& c) { return v < c.id; }), last,
                last + 1);
    count_marks(k, f, 1);
  }
  overflow_.clear();
}

void ShapeIndex::file(ShapeId id, const ShapeGeometry& geometry) {
  if (!enabled()) return;
  if (const std::optional<std::size_t> cell = cell_for(geometry)) {
    const CircleGeometry& c = std::get<CircleGeometry>(geometry);
    const FiledCircle f{c.centre, c.radius, id, false, true, Box::of_point(c.centre).grown(c.radius)};
    if (room(*cell) == 0) {
      overflow_.push_back(f);
      if (overflow_.size() > OVERFLOW) regrow();
      return;
    }
    // Ids only grow, so the circle goes last in its cell.
    filed_[start_[*cell] + used_[*cell]++] = f;
    count_marks(*cell, f, 1);
    return;
  }
  ungridded_.push_back({id, geometry});
}

void ShapeIndex::reserve_for(const ShapeGeometry& geometry) {
  if (!enabled()) return;
  if (const std::optional<std::size_t> cell = cell_for(geometry)) {
    if (room(*cell) > 0) return;
    // A filing that would lay the array out afresh has it laid out now,
    // where failing changes nothing; then it fits, or overflows into room
    // kept for it.
    if (overflow_.size() >= OVERFLOW) regrow();
    if (room(*cell) == 0) reserve_more(overflow_, 1);
  } else {
    reserve_more(ungridded_, 1);
  }
}

void ShapeIndex::unfile(ShapeId id, const ShapeGeometry& geometry) {
  if (!enabled()) return;
  if (const std::optional<std::size_t> cell = cell_for(geometry)) {
    for (auto it = overflow_.begin(); it != overflow_.end(); ++it)
      if (it->id == id) {
        overflow_.erase(it);
        return;
      }
    if (FiledCircle* f = find_in(*cell, id)) {
      count_marks(*cell, *f, -1);
      FiledCircle* end = filed_.data() + start_[*cell] + used_[*cell];
      std::copy(f + 1, end, f);
      --used_[*cell];
    }
    return;
  }
  auto it = std::lower_bound(ungridded_.begin(), ungridded_.end(), id,
                             [](const ShapeGeometryEntry& e, ShapeId v) { return e.id < v; });
  if (it != ungridded_.end() && it->id == id) ungridded_.erase(it);
}

void ShapeIndex::mark(ShapeId id, const ShapeGeometry& geometry, bool exposed, bool whole, const Box& reach) {
  if (!enabled()) return;
  const std::optional<std::size_t> cell = cell_for(geometry);
  if (!cell) return;
  if (FiledCircle* f = find_in(*cell, id)) {
    // Only circles in the array count towards their cells' marks.
    const bool counted = f >= filed_.data() && f < filed_.data() + filed_.size();
    if (counted) count_marks(*cell, *f, -1);
    f->exposed = exposed;
    f->whole = whole;
    f->reach = reach;
    if (counted) count_marks(*cell, *f, 1);
  }
}

const FiledCircle* ShapeIndex::find(ShapeId id, const ShapeGeometry& geometry) const {
  if (!enabled()) return nullptr;
  const std::optional<std::size_t> cell = cell_for(geometry);
  return cell ? const_cast<ShapeIndex*>(this)->find_in(*cell, id) : nullptr;
}

bool operator==(const ShapeIndex& x, const ShapeIndex& y) {
  // With the overflow filed into the cells, as laying out afresh files it.
  ShapeIndex a = x, b = y;
  if (!a.overflow_.empty()) a.regrow();
  if (!b.overflow_.empty()) b.regrow();
  auto same_filed = [](const FiledCircle& x, const FiledCircle& y) {
    auto same_box = [](const Box& u, const Box& v) {
      return same_bits(u.x0, v.x0) && same_bits(u.y0, v.y0) && same_bits(u.x1, v.x1) && same_bits(u.y1, v.y1);
    };
    return x.id == y.id && same_bits(x.centre, y.centre) && same_bits(x.radius, y.radius) &&
           x.exposed == y.exposed && x.whole == y.whole && same_box(x.reach, y.reach);
  };
  auto same_entry = [](const ShapeGeometryEntry& x, const ShapeGeometryEntry& y) {
    return x.id == y.id && identical(x.geometry, y.geometry);
  };
  // Cell by cell, the circles filed there: where the free slots lie is
  // the history of the filings, not the index.
  if (a.cells_ != b.cells_ || !same_bits(a.cell_size_, b.cell_size_) || !same_bits(a.reach_, b.reach_) ||
      a.used_ != b.used_ || a.exposed_ != b.exposed_ || a.whole_ != b.whole_ ||
      !std::equal(a.ungridded_.begin(), a.ungridded_.end(), b.ungridded_.begin(), b.ungridded_.end(), same_entry))
    return false;
  for (std::size_t k = 0; k < a.used_.size(); ++k)
    if (!std::equal(a.filed_.begin() + a.start_[k], a.filed_.begin() + a.start_[k] + a.used_[k],
                    b.filed_.begin() + b.start_[k], same_filed))
      return false;
  return true;
}

}  // namespace quelmar
