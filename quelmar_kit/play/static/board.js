"use strict";
(() => {
// Draws a view of the game (the JSON the server sends) as SVG in board
// units: territory shaded by its owner, the dead space round stones and
// along the edge hatched, forced eyes marked, stones in the players'
// colours, the last move and its captures marked, and the preview of
// where a click will play.
const SVG = "http://www.w3.org/2000/svg";
const STYLE = {
  board: "#e2c48e",
  territory: { black: ["#1d2433", 0.34], white: ["#ffffff", 0.55] },
  hatch: "#6b5a3a",
  eye: "#0b8a6b",
  stone: { black: ["#1b1b1f", "#000000"], white: ["#f7f5ef", "#6b6b6b"] },
  number: { black: "#f7f5ef", white: "#1b1b1f" },
  last: "#e0352b",
  preview: "#1f6f8b",
};
const STONE = 0.96;      // a hair under the radius, so that touching stones stay apart
const DEAD = 2.0;        // no stone's centre may lie within this of another's
const INSET = 1.0;       // nor within this of the edge

function svgEl(tag, attrs) {
  const node = document.createElementNS(SVG, tag);
  for (const [key, value] of Object.entries(attrs || {})) node.setAttribute(key, String(value));
  return node;
}

function fmt(value) { return Number(value).toFixed(2); }
function pointText(p) { return `(${fmt(p[0])}, ${fmt(p[1])})`; }

// Stripes `spacing` board units apart: about a hundredth of the board, so
// that they look the same on every board size.
function hatchPattern(id, spacing) {
  const pattern = svgEl("pattern", { id, patternUnits: "userSpaceOnUse", width: spacing,
    height: spacing, patternTransform: "rotate(45)" });
  pattern.append(svgEl("rect", { width: spacing, height: spacing, fill: STYLE.hatch, "fill-opacity": 0.06 }));
  pattern.append(svgEl("rect", { width: spacing * 0.22, height: spacing, fill: STYLE.hatch, "fill-opacity": 0.32 }));
  return pattern;
}

// Draws `view` into `svg`: `numbers` writes move numbers on the stones,
// `last` is the last move ({at, captured}) to mark. The preview and the
// cursor go in a group of their own, redrawn alone by drawMarks.
function drawBoard(svg, view, numbers, last) {
  const S = view.size;
  // On large boards the marks keep a size people can see.
  const scale = Math.max(1, S / 40);
  svg.replaceChildren();
  svg.setAttribute("viewBox", `0 0 ${S} ${S}`);
  const defs = svgEl("defs");
  defs.append(hatchPattern("dead-hatch", S / 64));
  const clip = svgEl("clipPath", { id: "on-board" });
  clip.append(svgEl("rect", { width: S, height: S }));
  defs.append(clip);
  svg.append(defs);
  svg.append(svgEl("rect", { width: S, height: S, fill: STYLE.board }));

  const territory = svgEl("g", { id: "territory" });
  for (const group of view.groups) {
    const [fill, opacity] = STYLE.territory[group.owner];
    territory.append(svgEl("path", { d: group.path, fill, "fill-opacity": opacity, "fill-rule": "evenodd",
      "data-owner": group.owner }));
  }
  svg.append(territory);

  // The dead space: the edge band and a disc of radius 2 round every stone.
  const dead = svgEl("g", { id: "dead", "clip-path": "url(#on-board)", fill: "url(#dead-hatch)" });
  dead.append(svgEl("path", { "fill-rule": "evenodd",
    d: `M0 0H${S}V${S}H0Z M${INSET} ${INSET}V${S - INSET}H${S - INSET}V${INSET}Z` }));
  for (const [, , x, y] of view.stones) dead.append(svgEl("circle", { cx: x, cy: y, r: DEAD }));
  svg.append(dead);

  const eyes = svgEl("g", { id: "eyes" });
  for (const [x, y] of view.eyes) {
    eyes.append(svgEl("circle", { cx: x, cy: y, r: 0.3 * scale, fill: "none",
      stroke: STYLE.eye, "stroke-width": 0.09 * scale }));
    eyes.append(svgEl("circle", { cx: x, cy: y, r: 0.09 * scale, fill: STYLE.eye }));
  }
  svg.append(eyes);

  const stones = svgEl("g", { id: "stones" });
  for (const [id, color, x, y] of view.stones) {
    const [fill, stroke] = STYLE.stone[color];
    stones.append(svgEl("circle", { cx: x, cy: y, r: STONE, fill, stroke, "stroke-width": 0.06,
      "data-stone": id, "data-color": color }));
    if (numbers) {
      const label = String(id + 1);
      const text = svgEl("text", { x, y, dy: "0.35em", "text-anchor": "middle", fill: STYLE.number[color],
        "font-size": label.length > 2 ? 0.62 : 0.8, "font-weight": 600, "font-family": "system-ui, sans-serif" });
      text.textContent = label;
      stones.append(text);
    }
  }
  svg.append(stones);

  // The last move: a ring on its stone, dashed rings where it captured.
  if (last) {
    const marker = svgEl("g", { id: "last-move" });
    if (last.at) {
      // A halo round the stone, so that its number stays readable.
      marker.append(svgEl("circle", { cx: last.at[0], cy: last.at[1], r: STONE + 0.1, fill: "none",
        stroke: STYLE.last, "stroke-width": 0.16 }));
    }
    for (const [x, y] of last.captured) {
      marker.append(svgEl("circle", { cx: x, cy: y, r: STONE, fill: "none", stroke: STYLE.last,
        "stroke-width": 0.1, "stroke-dasharray": "0.3 0.2", class: "captured" }));
    }
    svg.append(marker);
  }
  svg.append(svgEl("g", { id: "marks", "pointer-events": "none" }));
}

// The preview of the snapped point ({point, from, color}) and the
// keyboard cursor ([x, y]), either of which may be null.
function drawMarks(svg, size, preview, cursorAt) {
  const box = svg.querySelector("#marks");
  if (!box) return;
  box.replaceChildren();
  const scale = Math.max(1, size / 40);
  if (preview && preview.point) {
    const [px, py] = preview.point;
    const [fill] = STYLE.stone[preview.color];
    const mark = svgEl("g", { id: "preview" });
    if (preview.from) {
      const [fx, fy] = preview.from;
      if (Math.hypot(fx - px, fy - py) > 0.05) {
        mark.append(svgEl("line", { x1: fx, y1: fy, x2: px, y2: py, stroke: STYLE.preview,
          "stroke-width": 0.07, "stroke-dasharray": "0.2 0.15" }));
      }
    }
    mark.append(svgEl("circle", { cx: px, cy: py, r: STONE, fill, "fill-opacity": 0.55,
      stroke: STYLE.preview, "stroke-width": 0.12 }));
    box.append(mark);
  }
  if (cursorAt) {
    const [cx, cy] = cursorAt;
    const cursor = svgEl("g", { id: "cursor", stroke: "#1f6f8b", "stroke-width": 0.08 * scale });
    cursor.append(svgEl("line", { x1: cx - 0.6 * scale, y1: cy, x2: cx + 0.6 * scale, y2: cy }));
    cursor.append(svgEl("line", { x1: cx, y1: cy - 0.6 * scale, x2: cx, y2: cy + 0.6 * scale }));
    box.append(cursor);
  }
}

// The legend: a small drawing and words for each mark.
function drawLegend(box) {
  const swatch = (...shapes) => {
    const svg = svgEl("svg", { viewBox: "0 0 2 2", "aria-hidden": "true" });
    svg.append(svgEl("rect", { width: 2, height: 2, fill: STYLE.board }));
    for (const shape of shapes) svg.append(shape);
    return svg;
  };
  const defs = svgEl("defs");
  defs.append(hatchPattern("legend-hatch", 0.5));
  const items = [
    [swatch(svgEl("circle", { cx: 1, cy: 1, r: 0.85, fill: STYLE.stone.black[0] })), "Black stone"],
    [swatch(svgEl("circle", { cx: 1, cy: 1, r: 0.85, fill: STYLE.stone.white[0], stroke: STYLE.stone.white[1], "stroke-width": 0.1 })), "White stone"],
    [swatch(svgEl("rect", { width: 2, height: 2, fill: STYLE.territory.black[0], "fill-opacity": STYLE.territory.black[1] })), "Black's territory"],
    [swatch(svgEl("rect", { width: 2, height: 2, fill: STYLE.territory.white[0], "fill-opacity": STYLE.territory.white[1] })), "White's territory"],
    [swatch(defs, svgEl("rect", { width: 2, height: 2, fill: "url(#legend-hatch)" })), "Dead space: within 2 of a stone or 1 of the edge, nobody can play there"],
    [swatch(svgEl("circle", { cx: 1, cy: 1, r: 0.55, fill: "none", stroke: STYLE.eye, "stroke-width": 0.18 }),
      svgEl("circle", { cx: 1, cy: 1, r: 0.17, fill: STYLE.eye })), "Forced eye: where a captured stone stood; stays playable until a stone comes within 2"],
    [swatch(svgEl("circle", { cx: 1, cy: 1, r: 0.72, fill: STYLE.stone.black[0] }),
      svgEl("circle", { cx: 1, cy: 1, r: 0.85, fill: "none", stroke: STYLE.last, "stroke-width": 0.16 })), "The last move"],
    [swatch(svgEl("circle", { cx: 1, cy: 1, r: 0.85, fill: "none", stroke: STYLE.last, "stroke-width": 0.12, "stroke-dasharray": "0.3 0.2" })), "A stone the last move captured"],
    [swatch(svgEl("circle", { cx: 1, cy: 1, r: 0.85, fill: STYLE.stone.black[0], "fill-opacity": 0.55, stroke: STYLE.preview, "stroke-width": 0.14 })), "Where your click will play (the nearest playable point)"],
  ];
  box.replaceChildren();
  for (const [svg, words] of items) {
    const text = document.createElement("span");
    text.textContent = words;
    box.append(svg, text);
  }
}

window.quelmarBoard = { drawBoard, drawMarks, drawLegend, pointText, fmt, SVG };
})();
