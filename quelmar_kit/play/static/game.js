"use strict";
// A game's page. It holds the seats whose tokens its link carries (in the
// #fragment, which never reaches the server's logs), follows the game by
// server-sent events, announces every move, capture, pass and result, and
// lets its player play by mouse, touch or keyboard, with a preview of the
// point a click will take. Text from the server is only set as text.
const { drawBoard, drawMarks, drawLegend, pointText, fmt, SVG } = window.quelmarBoard;
const $ = (id) => document.getElementById(id);
const gameId = location.pathname.split("/")[2];
const seats = {};
for (const [key, value] of new URLSearchParams(location.hash.slice(1))) {
  if (key === "black" || key === "white") seats[key] = value;
}
// Everything the page shows; tests read it as window.quelmar.
const page = {
  live: null, shown: null, review: null, numbers: false, preview: null, cursor: null,
  pointer: null, touchPending: null, updates: 0, news: [],
};
window.quelmar = page;
const svg = document.createElementNS(SVG, "svg");
svg.setAttribute("role", "img");
$("board").append(svg);

const capital = (color) => color[0].toUpperCase() + color.slice(1);
const held = (color) => Boolean(seats[color]);
function playerName(color) {
  if (!page.live) return capital(color);
  const player = page.live.players[color];
  if (held(color)) return Object.keys(seats).length > 1 ? capital(color) : `You (${color})`;
  const who = player.kind === "bot" ? `${player.name} bot` : player.name;
  return who && who !== color ? `${capital(color)} (${who})` : capital(color);
}

// ------------------------------------------------------------ talking to the server

const request = window.quelmarApi.request;

function tokenFor(what) {
  const live = page.live;
  if (!live) return null;
  if (what === "undo") {
    const last = live.moves.length ? live.moves[live.moves.length - 1].color : null;
    return seats[last] || seats.black || seats.white || null;
  }
  if (what === "resign") return seats[live.to_move] || seats.black || seats.white || null;
  return seats[live.to_move] || null;
}

async function act(what, extra) {
  const token = tokenFor(what);
  if (!token || !page.live) return;
  $("message").textContent = "";
  try {
    accept(await request("POST", `/api/games/${gameId}/${what}`,
      { token, version: page.live.version, ...(extra || {}) }));
  } catch (e) {
    $("message").textContent = e.message;
  }
  page.updates += 1;
}

// ------------------------------------------------------------ news

function addNews(text) {
  page.news.unshift(text);
  page.news.length = Math.min(page.news.length, 30);
  const item = document.createElement("li");
  item.textContent = text;
  $("news").prepend(item);
  while ($("news").children.length > 30) $("news").lastChild.remove();
}

function moveText(move) {
  const who = playerName(move.color);
  if (!move.at) return `${who} passed.`;
  const n = move.captured.length;
  const took = n ? `, capturing ${n} stone${n > 1 ? "s" : ""}` : "";
  return `${who} played at ${pointText(move.at)}${took}.`;
}

function sameMove(a, b) {
  return a.color === b.color && JSON.stringify(a.at) === JSON.stringify(b.at);
}

// Says what changed between two versions: turns taken back, then turns played.
function announce(before, after) {
  const old = before.moves, now = after.moves;
  let common = 0;
  while (common < old.length && common < now.length && sameMove(old[common], now[common])) common += 1;
  const undone = old.length - common;
  if (undone > 0) addNews(undone === 1 ? "The last turn was taken back." : `The last ${undone} turns were taken back.`);
  for (const move of now.slice(common)) addNews(moveText(move));
  if (before.in_play && !after.in_play && after.result.words) {
    addNews(after.result.words + (after.result.detail ? ` (${after.result.detail})` : ""));
  } else if (!before.in_play && after.in_play) {
    addNews("The game is open again.");
  }
}

// ------------------------------------------------------------ showing

function accept(view) {
  if (page.live && view.version <= page.live.version) return;
  const before = page.live;
  page.live = view;
  if (before) announce(before, view);
  else if (!view.in_play && view.result.words) addNews(view.result.words);
  if (page.review === null) page.shown = view;
  page.touchPending = null;
  if (page.preview && page.preview.version !== view.version) page.preview = null;
  render();
  if (page.pointer) snap(page.pointer);
  page.updates += 1;
}

function lastMoveOf(turn) {
  const move = page.live && turn > 0 ? page.live.moves[turn - 1] : null;
  return move ? { at: move.at, captured: move.captured } : null;
}

function statusText(live) {
  if (!live.in_play) return `Game over. ${live.result.words}`;
  const mover = live.to_move;
  const pass = live.next_pass_ends ? " A pass now ends the game." : "";
  if (held(mover)) return `Turn ${live.turn + 1}: your move as ${mover}.${pass}`;
  const player = live.players[mover];
  const waiting = player.kind === "bot" ? `${player.name} bot is thinking` : `waiting for ${capital(mover)}`;
  return `Turn ${live.turn + 1}: ${capital(mover)} to move, ${waiting}.${pass}`;
}

function render() {
  const live = page.live, shown = page.shown;
  if (!live || !shown) return;
  const turn = page.review === null ? live.turn : page.review;
  drawBoard(svg, shown, page.numbers, lastMoveOf(turn));
  svg.setAttribute("aria-label", `Board of size ${shown.size} after turn ${turn}, ${shown.stones.length} stones`);
  renderMarks();
  $("status").textContent = statusText(live);
  $("status").className = live.in_play ? "" : "over";
  const mine = live.in_play && held(live.to_move) && page.review === null;
  $("pass").disabled = !mine;
  $("resign").disabled = !(live.in_play && (held("black") || held("white")));
  const reopenable = live.in_play || live.result.reason === "two-passes";
  $("undo").disabled = !(reopenable && live.turn > 0 && (held("black") || held("white")));
  $("board").style.cursor = mine ? "crosshair" : "default";
  for (const [i, color] of ["black", "white"].entries()) {
    $(`captures-${color}`).textContent = String(shown.captures[i]);
    $(`territory-${color}`).textContent = fmt(shown.territory[i]);
    $(`score-${color}`).textContent = fmt(shown.score[i]);
  }
  $("komi-note").textContent = `Score: territory, with komi ${live.komi} added to White. Board ${live.size}.`;
  const players = $("players");
  players.replaceChildren();
  for (const color of ["black", "white"]) {
    const line = document.createElement("div");
    const dot = document.createElement("span");
    dot.className = `dot ${color}`;
    line.append(dot, playerName(color) + (live.to_move === color ? "  ← to move" : ""));
    players.append(line);
  }
  renderMoves(turn);
}

function renderMarks() {
  if (!page.shown) return;
  const preview = page.review === null ? page.preview : null;
  drawMarks(svg, page.shown.size, preview, page.cursor);
  const p = page.pointer || page.cursor;
  let text = "";
  if (p && page.review === null) {
    text = `Pointer ${pointText(p)}`;
    if (preview && preview.point) text += ` → plays at ${pointText(preview.point)}`;
    else if (preview) text += " → there is nowhere to play";
    if (page.touchPending && preview && preview.point) text += ". Tap again there to play.";
  } else if (page.review !== null) {
    text = "Reviewing: the board shows an earlier position.";
  }
  $("readout").textContent = text;
}

function renderMoves(turn) {
  const list = $("moves");
  const moves = page.live.moves;
  if (list.dataset.version !== String(page.live.version)) {
    list.replaceChildren();
    moves.forEach((move, i) => {
      const button = document.createElement("button");
      button.type = "button";
      button.dataset.turn = String(i + 1);
      const where = move.at ? pointText(move.at) : "pass";
      const took = move.captured.length ? `  ×${move.captured.length}` : "";
      button.textContent = `${i + 1}. ${capital(move.color)} ${where}${took}`;
      button.addEventListener("click", () => reviewAt(i + 1));
      const item = document.createElement("li");
      item.append(button);
      list.append(item);
    });
    list.dataset.version = String(page.live.version);
  }
  for (const button of list.querySelectorAll("button")) {
    const current = Number(button.dataset.turn) === turn;
    button.setAttribute("aria-current", current ? "true" : "false");
    if (current && page.review !== null) button.scrollIntoView({ block: "nearest" });
  }
  $("review").hidden = page.review === null;
  $("review-text").textContent = page.review === null ? "" :
    `Showing the position after turn ${page.review} of ${page.live.turn}.`;
}

async function reviewAt(turn) {
  if (!page.live) return;
  const last = page.live.turn;
  turn = Math.max(0, Math.min(turn, last));
  if (turn === last) {
    page.review = null;
    page.shown = page.live;
  } else {
    try {
      page.shown = await request("GET", `/api/games/${gameId}/view?turn=${turn}`);
      page.review = turn;
    } catch (e) {
      $("message").textContent = e.message;
      return;
    }
  }
  render();
  page.updates += 1;
}

// ------------------------------------------------------------ playing

function boardPoint(event) {
  const point = new DOMPoint(event.clientX, event.clientY).matrixTransform(svg.getScreenCTM().inverse());
  return [point.x, point.y];
}

function myTurn() {
  return page.live && page.live.in_play && held(page.live.to_move) && page.review === null;
}

// Asks where a click at `point` would play; one question at a time, the
// latest point wins.
let asking = null, askNext = null;
async function snap(point) {
  if (!myTurn()) { page.preview = null; renderMarks(); return; }
  if (asking) { askNext = point; return; }
  asking = point;
  const version = page.live.version, color = page.live.to_move;
  try {
    const answer = await request("GET", `/api/games/${gameId}/snap?x=${point[0]}&y=${point[1]}`);
    if (page.live.version === version && answer.version === version) {
      page.preview = { point: answer.point, from: point, color, version };
      renderMarks();
    }
  } catch (e) { /* a preview is only a help */ }
  asking = null;
  if (askNext) { const next = askNext; askNext = null; snap(next); }
}

function play(point) {
  if (!myTurn()) return;
  page.touchPending = null;
  act("move", { x: point[0], y: point[1] });
}

const board = $("board");
board.addEventListener("pointermove", (event) => {
  if (event.pointerType === "touch" || !page.live) return;
  page.pointer = boardPoint(event);
  snap(page.pointer);
  renderMarks();
});
board.addEventListener("pointerleave", (event) => {
  if (event.pointerType === "touch") return;
  page.pointer = null;
  page.preview = null;
  renderMarks();
});
board.addEventListener("pointerup", (event) => {
  if (!page.live || event.button > 0) return;
  const point = boardPoint(event);
  if (event.pointerType !== "touch") { play(point); return; }
  // A touch has no hover: the first tap shows where it would play, a
  // second tap near it plays there.
  const pending = page.touchPending;
  const near = Math.max(0.8, page.live.size / 30);
  if (pending && Math.hypot(pending[0] - point[0], pending[1] - point[1]) < near) {
    play(pending);
  } else {
    page.touchPending = point;
    page.pointer = point;
    snap(point);
    renderMarks();
  }
});

board.addEventListener("keydown", (event) => {
  if (!page.live) return;
  const size = page.live.size;
  const step = Math.max(0.5, size / 36) / (event.shiftKey ? 5 : 1);
  const moves = { ArrowLeft: [-step, 0], ArrowRight: [step, 0], ArrowUp: [0, -step], ArrowDown: [0, step] };
  if (event.key in moves) {
    const [dx, dy] = moves[event.key];
    const [x, y] = page.cursor || [size / 2, size / 2];
    page.cursor = [Math.min(size, Math.max(0, x + dx)), Math.min(size, Math.max(0, y + dy))];
    snap(page.cursor);
    renderMarks();
  } else if ((event.key === "Enter" || event.key === " ") && page.cursor) {
    play(page.cursor);
  } else if (event.key === "Escape") {
    page.cursor = null;
    page.preview = null;
    renderMarks();
  } else {
    return;
  }
  event.preventDefault();
  event.stopPropagation();
});
board.addEventListener("focus", () => {
  if (!page.cursor && page.live) { page.cursor = [page.live.size / 2, page.live.size / 2]; snap(page.cursor); }
  renderMarks();
});
board.addEventListener("blur", () => { page.cursor = null; renderMarks(); });

document.addEventListener("keydown", (event) => {
  if (!page.live || event.target.closest("input, select, textarea, #board")) return;
  const now = page.review === null ? page.live.turn : page.review;
  const to = { ArrowLeft: now - 1, ArrowRight: now + 1, Home: 0, End: page.live.turn }[event.key];
  if (to === undefined) return;
  event.preventDefault();
  reviewAt(to);
});

$("pass").addEventListener("click", () => act("pass"));
$("undo").addEventListener("click", () => act("undo"));
let resignArmed = null;
$("resign").addEventListener("click", () => {
  // Two clicks, so that a slip does not lose the game.
  if (!resignArmed) {
    $("resign").textContent = "Resign: click again";
    resignArmed = setTimeout(() => { resignArmed = null; $("resign").textContent = "Resign"; }, 4000);
    return;
  }
  clearTimeout(resignArmed);
  resignArmed = null;
  $("resign").textContent = "Resign";
  act("resign");
});
$("numbers").addEventListener("change", () => { page.numbers = $("numbers").checked; render(); });
$("first").addEventListener("click", () => reviewAt(0));
$("back").addEventListener("click", () => reviewAt((page.review ?? page.live.turn) - 1));
$("forward").addEventListener("click", () => reviewAt((page.review ?? page.live.turn) + 1));
$("last").addEventListener("click", () => reviewAt(page.live.turn));
$("live").addEventListener("click", () => reviewAt(page.live.turn));

// ------------------------------------------------------------ start

function start() {
  drawLegend($("legend"));
  $("save").href = `/api/games/${gameId}/record`;
  $("save").setAttribute("download", `quelmar-${gameId}.jsonl`);
  $("engine").href = `/api/games/${gameId}/svg`;
  const colors = Object.keys(seats);
  $("who").textContent = colors.length === 2 ? "You hold both seats." :
    colors.length === 1 ? `You play ${colors[0]}.` : "You are watching.";
  request("GET", `/api/games/${gameId}`).then(accept).catch((e) => {
    $("message").textContent = e.message;
    page.updates += 1;
  });
  const events = new EventSource(`/api/games/${gameId}/events`);
  events.addEventListener("view", (event) => accept(JSON.parse(event.data)));
  events.addEventListener("open", () => { if ($("message").dataset.lost) { $("message").textContent = ""; delete $("message").dataset.lost; } });
  events.addEventListener("error", () => {
    if (events.readyState !== EventSource.OPEN) {
      $("message").textContent = "Lost the server: trying again…";
      $("message").dataset.lost = "1";
    }
  });
}
start();
