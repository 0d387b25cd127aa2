#include "svg/svg_writer.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>

#include "geometry/number_text.hpp"
#include "svg/group_style.hpp"

namespace quelmar {

std::string one_decimal_text(double v) {
  // NaN and the infinities read as everywhere else, not as "-nan".
  if (!std::isfinite(v)) return plain_number_text(v);
  if (v == 0.0) v = 0.0;  // folds -0.0
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 1);
  return std::string(buf, res.ptr);
}

namespace {

struct Stroke {
  std::string_view fill;
  std::string_view stroke;
};

Stroke stone_colours(Color c) {
  return c == Color::Black ? Stroke{"#2e2e35", "#868688"} : Stroke{"#ddddd5", "#696966"};
}

const Segment* live_segment(const ClippingGraph& graph, SegId id) { return graph.segment(id); }

// The SharedStarts entry of a point; null when there is none.
const SharedStarts::SegList* junction_at(const ClippingGraph& graph, Point p) {
  return graph.shared_starts().find(PointKey::from(p));
}

// The outline's command list, traced from the exposed segments.
class OutlineTracer {
 public:
  explicit OutlineTracer(const ClippingGraph& graph) : graph_(graph) {}

  std::vector<std::string> trace() {
    for (const auto& [shape_id, shape] : graph_.shapes()) {
      if (!shape.head) continue;
      walk_shape(shape);
    }
    return std::move(commands_);
  }

 private:
  void walk_shape(const Shape& shape) {
    SegId c = *shape.head;
    for (std::uint32_t examined = 0;; ) {
      const Segment* seg = live_segment(graph_, c);
      if (!seg) return;
      const SegId n = seg->next;
      if (shape.open && n == *shape.head) return;  // the closing segment is never drawn
      if (examined >= shape.len) return;
      ++examined;
      if (!visited_.count(c)) {
        if (seg->exposed())
          trace_loop(c, n);
        else
          visited_.insert(c);
      }
      if (n == *shape.head) return;
      c = n;
    }
  }

  void trace_loop(SegId first, SegId skip) {
    SegId c = first;
    bool first_command = true;
    for (std::size_t steps = 0;;) {
      const Segment* seg = live_segment(graph_, c);
      const Segment* next = seg ? live_segment(graph_, seg->next) : nullptr;
      const Shape* owner = seg ? graph_.shape(seg->shape) : nullptr;
      if (!seg || !next || !owner) {
        visited_.insert(c);
        return;
      }
      append_piece(*seg, *next, *owner, first_command);
      first_command = false;
      visited_.insert(c);

      const SharedStarts::SegList* junction = junction_at(graph_, next->start);
      ++steps;
      if (junction && std::find(junction->begin(), junction->end(), first) != junction->end()) {
        commands_.push_back("Z");
        return;
      }
      if (!junction || junction->empty()) return;
      std::optional<SegId> chosen;
      for (SegId id : *junction) {
        const Segment* cand = live_segment(graph_, id);
        if (cand && cand->exposed() && !visited_.count(id) && id != skip) {
          chosen = id;
          break;
        }
      }
      if (!chosen || steps == graph_.live_count()) return;
      c = *chosen;
    }
  }

  void append_piece(const Segment& seg, const Segment& next, const Shape& owner, bool first_command) {
    Point from, to;
    std::string command;
    if (const EdgeGeometry* edge = as_edge(owner.geometry)) {
      from = edge_point(*edge, seg.offset);
      to = edge_point(*edge, next.offset);
      command = "L " + one_decimal_text(to.x) + "," + one_decimal_text(to.y);
    } else {
      const CircleGeometry* circle = as_circle(owner.geometry);
      const Arc arc{circle->centre, circle->radius, seg.offset, next.offset};
      from = arc.point_at(seg.offset);
      to = arc.point_at(next.offset);
      double sweep = next.offset - seg.offset;
      if (sweep < 0) sweep += TWO_PI;
      const std::string r = one_decimal_text(circle->radius);
      command = "A " + r + "," + r + " 0 " + (sweep > PI ? "1" : "0") + " 1 " + one_decimal_text(to.x) + "," +
                one_decimal_text(to.y);
    }
    if (first_command) commands_.push_back("M " + one_decimal_text(from.x) + "," + one_decimal_text(from.y) + " ");
    commands_.push_back(std::move(command));
  }

  const ClippingGraph& graph_;
  std::set<SegId> visited_;
  std::vector<std::string> commands_;
};

std::string join(const std::vector<std::string>& parts) {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) out += ' ';
    out += parts[i];
  }
  return out;
}

std::string territory_path_data(const VoronoiGroup& group) {
  std::vector<std::string> rings;
  for (const Ring& ring : group.rings) {
    if (ring.empty()) continue;
    std::string d = "M " + one_decimal_text(ring[0].x) + " " + one_decimal_text(ring[0].y);
    for (std::size_t i = 1; i < ring.size(); ++i)
      d += " L " + one_decimal_text(ring[i].x) + " " + one_decimal_text(ring[i].y);
    d += " Z";
    rings.push_back(std::move(d));
  }
  return join(rings);
}

}  // namespace

std::string outline_path_data(const ClippingGraph& graph) {
  return join(OutlineTracer(graph).trace());
}

std::string dump_svg(double board_size, const AliveZone& zone, const Voronoi& voronoi) {
  const std::string s = plain_number_text(board_size);
  std::string out;
  auto line = [&out](const std::string& text) {
    out += text;
    out += '\n';
  };
  line("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + s + "\" height=\"" + s + "\" viewBox=\"0 0 " + s +
       " " + s + "\">");
  line("<defs>");
  line("<g id=\"alive-zone-geometry\" stroke-width=\"inherit\" stroke-linecap=\"round\" "
       "stroke-linejoin=\"round\" fill=\"inherit\" stroke=\"inherit\">");
  if (std::string d = outline_path_data(zone.graph()); !d.empty()) line("<path d=\"" + d + "\" />");
  for (const auto& [key, eye] : zone.forced_eyes())
    line("<circle cx=\"" + plain_number_text(eye.x) + "\" cy=\"" + plain_number_text(eye.y) +
         "\" r=\"1\" stroke=\"none\"/>");
  line("</g>");
  line("<pattern id=\"deadzone-hatch\" patternUnits=\"userSpaceOnUse\" width=\"0.4\" height=\"0.4\" "
       "patternTransform=\"rotate(-45)\">");
  line("<rect width=\"0.2\" height=\"0.4\" fill=\"#808080\" fill-opacity=\"0.75\"/>");
  line("<rect x=\"0.2\" width=\"0.2\" height=\"0.4\" fill=\"#808080\" fill-opacity=\"0.5\"/>");
  line("</pattern>");
  line("<mask id=\"deadzone-mask\">");
  line("<rect width=\"" + s + "\" height=\"" + s + "\" fill=\"white\"/>");
  line("<use href=\"#alive-zone-geometry\" fill=\"black\" stroke=\"black\" stroke-width=\"2\"/>");
  line("</mask>");
  line("</defs>");
  line("<rect width=\"" + s + "\" height=\"" + s + "\" fill=\"#0e0e13\" stroke=\"none\"/>");
  const std::vector<StyledGroup> styled = styled_groups(voronoi);
  for (const StyledGroup& g : styled)
    line("<path d=\"" + territory_path_data(*g.group) + "\" fill=\"" + g.style.fill + "\" fill-rule=\"evenodd\"/>");
  line("<rect width=\"" + s + "\" height=\"" + s + "\" fill=\"url(#deadzone-hatch)\" mask=\"url(#deadzone-mask)\"/>");
  for (const StyledGroup& g : styled) {
    const Stroke colours = stone_colours(g.group->color);
    for (const Stone& stone : g.group->stones)
      line("<circle cx=\"" + plain_number_text(stone.position.x) + "\" cy=\"" + plain_number_text(stone.position.y) +
           "\" r=\"0.95\" fill=\"" + std::string(colours.fill) + "\" stroke=\"" + std::string(colours.stroke) +
           "\" stroke-width=\"0.1\"/>");
  }
  for (const StyledGroup& g : styled) {
    const Stroke colours = stone_colours(g.group->color);
    for (const Stone& stone : g.group->stones)
      line("<text x=\"" + plain_number_text(stone.position.x) + "\" y=\"" + plain_number_text(stone.position.y) +
           "\" dy=\"0.33em\" text-anchor=\"middle\" font-size=\"0.9\" font-weight=\"700\" fill=\"" +
           std::string(colours.stroke) + "\">" + g.style.label + "</text>");
  }
  line("</svg>");
  return out;
}

}  // namespace quelmar
