// The live tally page: one tile per output, pushed over a WebSocket; "#output=N" shows one
// output alone, "#filter=TEXT" keeps a filter across reloads. "?timing=1" keeps, for a measure,
// the time each row's tile was painted (window.tallyTimings); nothing else changes.
"use strict";

const lamps = new Map(); // output number -> row as /api/lamps gives it
let line = "waiting";
let connected = false;
let everConnected = false;

const $ = (id) => document.getElementById(id);

const timings = new URLSearchParams(location.search).has("timing") ? [] : null;
const kMaxTimings = 10000;
if (timings) window.tallyTimings = timings;

// The frame after a change is the first with the new colour on screen: its time, per row.
function recordPainted(rows) {
  requestAnimationFrame(() => {
    const at = Date.now();
    for (const row of rows) timings.push({ output: row.output, lamp: row.lamp, at });
    if (timings.length > kMaxTimings) timings.splice(0, timings.length - kMaxTimings);
  });
}

function colour(row) {
  const c = String(row.colour || row.color || "red").toLowerCase();
  return ["red", "green", "amber"].includes(c) ? c : "red";
}

function stateWord(row) {
  if (row.lamp === "lit") return "ON AIR";
  if (row.lamp === "unknown") return "unknown";
  return "off";
}

function hashParams() {
  return new URLSearchParams(location.hash.slice(1));
}

function stale() {
  return !connected || line === "waiting";
}

function tileFor(row) {
  const a = document.createElement("a");
  a.href = "#output=" + row.output;
  a.dataset.output = row.output;
  a.innerHTML = '<span class="name"></span><span class="info"></span>';
  return a;
}

function paintTile(a, row) {
  a.className = "tile " + row.lamp + " " + colour(row);
  a.querySelector(".name").textContent = row.name.trim() || "Output " + row.output;
  a.querySelector(".info").textContent = row.output + " · " + stateWord(row);
  a.title = row.reason || "";
}

function paintAll() {
  const box = $("tiles");
  const filter = $("filter").value.trim().toLowerCase();
  const rows = [...lamps.values()].sort((x, y) => x.output - y.output);
  const seen = new Set();
  for (const row of rows) {
    let a = box.querySelector('[data-output="' + row.output + '"]');
    if (!a) a = tileFor(row);
    paintTile(a, row);
    a.hidden = filter !== "" && !row.name.toLowerCase().includes(filter);
    box.appendChild(a); // keeps the order
    seen.add(String(row.output));
  }
  for (const a of [...box.children]) if (!seen.has(a.dataset.output)) a.remove();
  box.classList.toggle("stale", stale());
  paintSingle();
  paintState();
}

function paintSingle() {
  const wanted = hashParams().get("output");
  const single = $("single");
  single.hidden = wanted === null;
  if (wanted === null) return;
  const row = lamps.get(Number(wanted));
  single.className = row ? row.lamp + " " + colour(row) : "unknown";
  single.classList.toggle("stale", stale());
  $("single-name").textContent = row ? row.name.trim() || "Output " + row.output : "Output " + wanted;
  $("single-state").textContent = row ? stateWord(row) : "no such output";
  document.title = row ? row.name.trim() + " · tally" : "Tally";
}

function paintState() {
  const s = $("state");
  const texts = {
    service: "live",
    console: "live, from the console",
    waiting: "waiting for the line: not live",
  };
  s.textContent = connected ? texts[line] || line : everConnected ? "reconnecting…" : "connecting…";
  s.classList.toggle("warn", stale());
}

function take(message) {
  const m = JSON.parse(message);
  if (m.line) line = m.line;
  if (m.all) lamps.clear();
  for (const row of m.rows || []) lamps.set(row.output, row);
  paintAll();
  if (timings && m.rows) recordPainted(m.rows);
}

let retryMs = 500;
function connect() {
  const scheme = location.protocol === "https:" ? "wss://" : "ws://";
  const ws = new WebSocket(scheme + location.host + "/live");
  ws.onopen = () => { connected = everConnected = true; retryMs = 500; };
  ws.onmessage = (e) => take(e.data);
  ws.onclose = () => {
    connected = false;
    paintAll();
    setTimeout(connect, retryMs);
    retryMs = Math.min(retryMs * 2, 10000);
  };
}

function keepFilter() {
  const p = hashParams();
  const f = $("filter").value;
  if (f) p.set("filter", f); else p.delete("filter");
  history.replaceState(null, "", "#" + p.toString());
  paintAll();
}

document.addEventListener("DOMContentLoaded", () => {
  $("filter").value = hashParams().get("filter") || "";
  $("filter").addEventListener("input", keepFilter);
  $("single-back").addEventListener("click", (e) => {
    e.preventDefault();
    const p = hashParams();
    p.delete("output");
    location.hash = p.toString();
  });
  // A tap on the single view fills the whole screen, as a tally light should.
  $("single").addEventListener("click", (e) => {
    if (e.target.id !== "single-back" && document.fullscreenEnabled && !document.fullscreenElement)
      document.documentElement.requestFullscreen().catch(() => {});
  });
  window.addEventListener("hashchange", paintAll);
  document.addEventListener("keydown", (e) => {
    if (e.key === "Escape" && hashParams().has("output")) $("single-back").click();
  });
  paintAll();
  connect();
});
