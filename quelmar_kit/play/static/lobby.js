"use strict";
// The lobby: a form for a new game, the links it gives, loading a record
// file, and the list of games. Text from the server is only ever set as
// text, never as markup.
const $ = (id) => document.getElementById(id);
let lobby = null;

function el(tag, attrs, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attrs || {})) {
    if (key === "text") node.textContent = value;
    else node.setAttribute(key, value);
  }
  for (const child of children) node.append(child);
  return node;
}

const api = window.quelmarApi.request;

function seatForm(fieldset, bots) {
  const color = fieldset.dataset.color;
  const kind = el("select", { id: `${color}-player`, "aria-label": `${color} player` });
  kind.append(el("option", { value: "person", text: "A person" }));
  for (const bot of bots) kind.append(el("option", { value: bot.name, text: `Bot: ${bot.name}` }));
  const name = el("input", { id: `${color}-name`, placeholder: color, maxlength: "40" });
  const options = el("div", { class: "row" });
  const summary = el("p", { class: "muted" });
  fieldset.append(el("div", { class: "row" },
    el("label", { class: "field" }, "Played by", kind),
    el("label", { class: "field", id: `${color}-name-label` }, "Name", name)), options, summary);
  if (color === "white" && bots.length) kind.value = bots[0].name;
  const refresh = () => {
    options.replaceChildren();
    const bot = bots.find((b) => b.name === kind.value);
    $(`${color}-name-label`).hidden = Boolean(bot);
    summary.textContent = bot ? bot.summary : "";
    for (const [key, type] of Object.entries(bot ? bot.options : {})) {
      const input = el("input", { class: "short", "data-option": key,
        placeholder: "default", "aria-label": `${bot.name} ${key}` });
      options.append(el("label", { class: "field" }, `${key} (${type}; strength)`, input));
    }
  };
  kind.addEventListener("change", refresh);
  refresh();
}

function seatChoice(color) {
  const player = $(`${color}-player`).value;
  if (player === "person") return { player: "person", name: $(`${color}-name`).value };
  const options = {};
  for (const input of $(`seat-${color}`).querySelectorAll("[data-option]")) {
    if (input.value.trim()) options[input.dataset.option] = input.value.trim();
  }
  return { player: "bot", bot: player, options };
}

function showLinks(made) {
  const box = $("made-links");
  box.replaceChildren();
  const absolute = (path) => new URL(path, location.origin).href;
  const seats = ["black", "white"].filter((c) => made.links[c]);
  const rows = seats.map((color, i) => [
    i === 0 ? `Your seat: ${color}` : `Invitation: send it to the player of ${color}`, made.links[color], color]);
  rows.push(["Watch link: anyone can follow the game", made.links.watch, "watch"]);
  for (const [label, path, key] of rows) {
    const input = el("input", { readonly: "", value: absolute(path), id: `link-${key}`, "aria-label": label });
    const copy = el("button", { type: "button", text: "Copy" });
    copy.addEventListener("click", async () => {
      input.select();
      try { await navigator.clipboard.writeText(input.value); copy.textContent = "Copied"; }
      catch (e) { document.execCommand("copy"); copy.textContent = "Copied"; }
    });
    box.append(el("div", {}, el("div", { class: "muted", text: label }),
      el("div", { class: "row" }, input, copy, el("a", { class: "button", href: path, text: "Open" }))));
  }
  $("made").hidden = false;
  $("made").scrollIntoView({ block: "nearest" });
}

async function create(event) {
  event.preventDefault();
  $("form-message").textContent = "";
  const size = Number($("size").value);
  const komi = $("komi").value === "" ? 0 : Number($("komi").value);
  try {
    const made = await api("POST", "/api/games",
      { size, komi, black: seatChoice("black"), white: seatChoice("white") });
    showLinks(made);
    refreshGames();
  } catch (e) {
    $("form-message").textContent = e.message;
  }
}

function playerText(player) {
  return player.kind === "bot" ? `${player.name} (bot)` : player.name;
}

function showGames(games) {
  const body = $("games").querySelector("tbody");
  body.replaceChildren();
  for (const game of games) {
    body.append(el("tr", {},
      el("td", {}, el("a", { href: `/g/${game.id}`, text: `watch ${game.id}` })),
      el("td", { text: playerText(game.black) }), el("td", { text: playerText(game.white) }),
      el("td", { class: "n", text: String(game.size) }), el("td", { class: "n", text: String(game.turns) }),
      el("td", { text: game.result === "*" ? "in play" : game.result })));
  }
  $("games-empty").hidden = games.length > 0;
}

async function refreshGames() {
  try {
    const fresh = await api("GET", "/api/lobby");
    showGames(fresh.games);
  } catch (e) { /* the next refresh tries again */ }
}

// A record file is listed by the server; a chosen record is sent back as
// its own line, cut from the file by the byte offsets the listing gives.
async function loadFile() {
  const file = $("record-file").files[0];
  $("record-message").textContent = "";
  $("record-list").hidden = true;
  if (!file) return;
  const bytes = new Uint8Array(await file.arrayBuffer());
  let listed;
  try {
    listed = await api("POST", "/api/records", bytes, "application/x-ndjson");
  } catch (e) {
    $("record-message").textContent = `not loaded: ${e.message}`;
    return;
  }
  const body = $("record-list").querySelector("tbody");
  body.replaceChildren();
  for (const entry of listed.records) {
    if (entry.error) {
      body.append(el("tr", {}, el("td", { class: "n", text: String(entry.line) }),
        el("td", { colspan: "5", class: "error", text: entry.error })));
      continue;
    }
    const open = el("button", { type: "button", text: "Open" });
    open.addEventListener("click", () => openRecord(bytes, entry.offset));
    body.append(el("tr", {}, el("td", { class: "n", text: String(entry.line) }),
      el("td", { text: `${entry.black} – ${entry.white}` }), el("td", { text: entry.result }),
      el("td", { class: "n", text: String(entry.turns) }), el("td", { class: "n", text: String(entry.size) }),
      el("td", {}, open)));
  }
  if (listed.more) $("record-message").textContent = `and ${listed.more} more records, not listed`;
  if (!listed.records.length) $("record-message").textContent = "the file holds no record";
  $("record-list").hidden = listed.records.length === 0;
}

async function openRecord(bytes, offset) {
  let end = bytes.indexOf(10, offset);
  if (end < 0) end = bytes.length;
  const line = new TextDecoder("utf-8", { fatal: false }).decode(bytes.subarray(offset, end));
  $("record-message").textContent = "";
  try {
    const made = await api("POST", "/api/games/record",
      { record: line, black: seatChoice("black"), white: seatChoice("white") });
    showLinks(made);
    refreshGames();
  } catch (e) {
    $("record-message").textContent = e.message;
  }
}

async function start() {
  try {
    lobby = await api("GET", "/api/lobby");
  } catch (e) {
    $("form-message").textContent = e.message;
    return;
  }
  $("size").value = lobby.defaults.size;
  $("komi").value = lobby.defaults.komi;
  $("bounds").textContent = `Sizes from ${lobby.bounds.min_size} to ${lobby.bounds.max_size}; ` +
    `komi ${lobby.bounds.komi}. Bots think up to ${lobby.bot_time} s a move.`;
  seatForm($("seat-black"), lobby.bots);
  seatForm($("seat-white"), lobby.bots);
  showGames(lobby.games);
  $("new-game").addEventListener("submit", create);
  $("record-file").addEventListener("change", loadFile);
  setInterval(refreshGames, 5000);
  window.quelmarLobbyReady = true;
}
start();
