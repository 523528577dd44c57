// The line board's page. It learns the board's state from one event stream (/events: a
// snapshot, then every change) and the plots' figures from /api/history; it finds a box's
// records through /api/find and links the records on screen as CSV (/api/export.csv).
//
// Everything from the broker is text: stations, slots, reasons and box ids are put on the page
// with textContent, or as attribute values, and never parsed as markup. The page's policy
// (Content-Security-Policy) runs no script but this file.
'use strict';

const SVG = 'http://www.w3.org/2000/svg';
const RANGE_HOURS = { '8h': 8, '24h': 24, '7d': 168 };
const MOST_FAILURES = 50;

const board = {
  stations: new Map(),  // name -> station object as the board sends it
  cards: new Map(),     // name -> card element
  failures: [],         // newest first
  range: '8h',
  station: '',
  slot: '',
  dirty: new Set(),     // station names whose card needs drawing
  plot: null,
  plotDue: false,
  lastPlot: 0,
};

function byId(id) { return document.getElementById(id); }

function el(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined && text !== null) node.textContent = String(text);
  return node;
}

function svgEl(tag, attrs, text) {
  const node = document.createElementNS(SVG, tag);
  for (const [key, value] of Object.entries(attrs || {})) node.setAttribute(key, String(value));
  if (text !== undefined) node.textContent = String(text);
  return node;
}

function yieldText(passes, fails) {
  const boxes = passes + fails;
  return boxes > 0 ? Math.round(passes * 100 / boxes) + '%' : '\u2013';
}

function localTime(iso, withDay) {
  const when = new Date(iso);
  if (isNaN(when)) return '';
  const options = { hour: '2-digit', minute: '2-digit' };
  if (withDay) options.weekday = 'short';
  return when.toLocaleTimeString([], options);
}

function baseName(path) {
  const text = String(path);
  const cut = Math.max(text.lastIndexOf('/'), text.lastIndexOf('\\'));
  return cut >= 0 ? text.slice(cut + 1) : text;
}

// ---- the stations' cards ----

// The desktop station's look of a slot (word, symbol, tone), made by the board: the last
// verdict with its reason until the next box begins, and beneath it what holds the slot up.
function drawTile(tile, slot) {
  const look = slot.look;
  tile.className = 'tile tone-' + look.tone;
  tile.replaceChildren();
  tile.title = slot.name + (slot.port ? ' (' + slot.port + ')' : '') + '\n' + look.counts +
    (look.detail ? '\n' + look.detail : '') + (look.note ? '\n' + look.note : '');
  tile.append(el('div', 'slot-name', slot.name), el('div', 'words', look.symbol + ' ' + look.word));
  if (look.bar) {
    const bar = el('div', 'bar');
    const fill = el('div');
    fill.style.width = Math.max(0, Math.min(100, look.percent)) + '%';
    bar.append(fill);
    tile.append(bar);
  }
  tile.append(el('div', 'detail', look.detail || look.progress || look.box_id || look.counts));
  if (look.note) tile.append(el('div', 'note', look.note));
  // A job that scans each box: whether the slot waits for one, and which slot the next scan
  // goes to (outlined, and said in words).
  if (look.scan) tile.append(el('div', 'note', look.scan));
  if (look.scan_next) tile.classList.add('scan-next');
}

function drawCard(name) {
  const station = board.stations.get(name);
  let card = board.cards.get(name);
  if (!station) {
    if (card) card.remove();
    board.cards.delete(name);
    return;
  }
  if (!card) {
    card = el('article', 'card');
    board.cards.set(name, card);
    placeCard(name, card);
  }
  card.replaceChildren();
  const online = station.online === true ? 'online' : station.online === false ? 'offline' : 'unknown';
  card.className = 'card' + (online === 'offline' ? ' offline' : '') +
    (board.station === name ? ' chosen' : '');
  const head = el('div', 'card-head');
  const title = el('button', 'station-name', name);
  title.type = 'button';
  title.title = 'Plot ' + name;
  title.addEventListener('click', () => choose(name, ''));
  const badge = el('span', 'badge ' + online,
    online === 'online' ? '\u25CF online' : online === 'offline' ? '\u25CB OFFLINE' : 'status unknown');
  // The first-pass yield beside the final one: boxes that passed without a retry.
  const firstPasses = station.first_passes ?? station.passes;
  const totals = el('span', 'card-totals',
    station.passes + ' \u2714  ' + station.fails + ' \u2718  yield ' + yieldText(station.passes, station.fails) +
    ', first pass ' + yieldText(firstPasses, station.passes + station.fails - firstPasses));
  head.append(title, badge, totals);
  const meta = el('div', 'meta');
  const facts = [
    ['job', station.job], ['image', station.image ? baseName(station.image) : null],
    ['operator', station.operator], ['stavel', station.version],
    ['dropped', station.dropped ? 'messages past the board\'s bounds (see its log)' : null],
  ];
  for (const [label, value] of facts) {
    if (value) meta.append(el('span', '', label + ' ' + value));
  }
  if (station.image) meta.title = station.image + (station.image_sha256 ? '\nSHA-256 ' + station.image_sha256 : '');
  const tiles = el('div', 'tiles');
  for (const slot of station.slots) {
    const tile = el('div', 'tile');
    tile.dataset.slot = slot.name;
    drawTile(tile, slot);
    tiles.append(tile);
  }
  card.append(head, meta, tiles);
}

// Cards in the order of the stations' names.
function placeCard(name, card) {
  const holder = byId('stations');
  const names = [...board.cards.keys()].filter((other) => other !== name).sort();
  const next = names.find((other) => other > name);
  holder.insertBefore(card, next !== undefined ? board.cards.get(next) : null);
}

function drawTotals() {
  let online = 0, passes = 0, fails = 0, firstPasses = 0;
  for (const station of board.stations.values()) {
    if (station.online === true) online += 1;
    passes += station.passes;
    fails += station.fails;
    firstPasses += station.first_passes ?? station.passes;
  }
  byId('totals').textContent = board.stations.size + ' stations, ' + online + ' online \u00b7 ' +
    passes + ' passed, ' + fails + ' failed \u00b7 yield ' + yieldText(passes, fails) +
    ', first pass ' + yieldText(firstPasses, passes + fails - firstPasses);
  byId('stations').querySelector('.empty').hidden = board.stations.size > 0;
}

// ---- the wall view ----

// Splits the screen among the stations, and each card among its slots, so that the smallest
// slot's word is as large as it can be. A word ("\u2714 PASS", "\u25B6 LOADING") needs about
// five of its heights across, and its line about two and a half heights down with the slot's
// name and what follows beneath.
function layoutWall() {
  if (!document.body.classList.contains('wall')) return;
  const holder = byId('stations');
  const width = holder.clientWidth;
  const height = window.innerHeight - holder.getBoundingClientRect().top - 8;
  const count = Math.max(1, board.stations.size);
  let most = 1;
  for (const station of board.stations.values()) most = Math.max(most, station.slots.length);
  let best = { word: 0, stationColumns: 1, tileColumns: 1, cardHeight: height };
  for (let stationColumns = 1; stationColumns <= count; stationColumns++) {
    const rows = Math.ceil(count / stationColumns);
    const cardWidth = width / stationColumns - 8;
    const cardHeight = height / rows - 8;
    for (let tileColumns = 1; tileColumns <= most; tileColumns++) {
      const tileRows = Math.ceil(most / tileColumns);
      // The card's head takes about half a word's height.
      const word = Math.min(cardWidth / tileColumns / 5, (cardHeight / tileRows) / 2.9);
      if (word > best.word) best = { word, stationColumns, tileColumns, cardHeight };
    }
  }
  const style = document.body.style;
  style.setProperty('--station-columns', best.stationColumns);
  style.setProperty('--tile-columns', best.tileColumns);
  style.setProperty('--card-height', Math.floor(best.cardHeight) + 'px');
  let word = Math.max(12, Math.floor(best.word));
  style.setProperty('--word', word + 'px');
  // A long word ("\u26A0 PORT ABSENT") makes every word smaller, so that all read alike.
  let widest = 1;
  for (const shown of holder.querySelectorAll('.tile .words')) {
    if (shown.clientWidth > 0) widest = Math.max(widest, shown.scrollWidth / shown.clientWidth);
  }
  if (widest > 1) {
    word = Math.max(12, Math.floor(word / widest));
    style.setProperty('--word', word + 'px');
  }
}

function startWall() {
  const wall = new URLSearchParams(location.search).has('wall');
  document.body.classList.toggle('wall', wall);
  const link = byId('wall-link');
  link.textContent = wall ? 'Whole board' : 'Wall view';
  link.href = wall ? location.pathname : '?wall';
  if (wall) window.addEventListener('resize', layoutWall);
}

// Drawing waits for a quiet moment: a line of 800 slots changes hundreds of times a second.
function markDirty(name) {
  board.dirty.add(name);
  if (board.dirty.size === 1) setTimeout(flush, 200);
}

function flush() {
  for (const name of board.dirty) drawCard(name);
  board.dirty.clear();
  drawTotals();
  layoutWall();
  fillStationChoice();
}

// ---- the last failures ----

function drawFailures() {
  const body = byId('failures');
  body.replaceChildren();
  for (const failure of board.failures) {
    const row = el('tr');
    row.append(
      el('td', '', localTime(failure.end, false)),
      el('td', '', failure.station),
      el('td', '', failure.slot),
      el('td', 'reason' + (failure.result === 'aborted' ? ' aborted' : ''),
        (failure.result === 'aborted' ? 'ABORTED ' : '') + (failure.reason || 'FAIL')),
      el('td', '', failure.box_id || ''));
    row.title = 'record ' + failure.id;
    body.append(row);
  }
  byId('no-failures').hidden = board.failures.length > 0;
}

// ---- the event stream ----

function onSnapshot(snapshot) {
  board.stations.clear();
  for (const card of board.cards.values()) card.remove();
  board.cards.clear();
  for (const station of snapshot.stations) {
    board.stations.set(station.name, station);
    board.dirty.add(station.name);
  }
  board.failures = snapshot.failures.slice().reverse().slice(0, MOST_FAILURES);
  onBroker(snapshot.broker);
  drawFailures();
  flush();
  askPlot();
}

function onStation(station) {
  board.stations.set(station.name, station);
  markDirty(station.name);
}

function onSlot(change) {
  const station = board.stations.get(change.station);
  if (!station) return;
  const at = station.slots.findIndex((slot) => slot.name === change.slot.name);
  if (at < 0) return;  // not one the station lists
  const slot = change.slot;
  if (!slot.port) slot.port = station.slots[at].port;
  station.slots[at] = slot;
  station.passes = station.slots.reduce((sum, s) => sum + s.passes, 0);
  station.fails = station.slots.reduce((sum, s) => sum + s.fails, 0);
  markDirty(change.station);
}

function onResult(result) {
  if (result.result !== 'pass') {
    board.failures.unshift(result);
    board.failures.length = Math.min(board.failures.length, MOST_FAILURES);
    drawFailures();
  }
  askPlot();
}

function onBroker(broker) {
  const link = byId('link');
  link.textContent = broker.text;
  link.classList.toggle('down', !broker.connected);
  showBanner(broker.connected ? '' : 'The board has lost the broker: what it shows may be old. ' + broker.text);
}

function showBanner(text) {
  const banner = byId('banner');
  banner.textContent = text;
  banner.hidden = !text;
}

function listen() {
  const events = new EventSource('events');
  const take = (handler) => (message) => handler(JSON.parse(message.data));
  events.addEventListener('snapshot', take(onSnapshot));
  events.addEventListener('station', take(onStation));
  events.addEventListener('slot', take(onSlot));
  events.addEventListener('result', take(onResult));
  events.addEventListener('broker', take(onBroker));
  events.onopen = () => showBanner('');
  events.onerror = () => {
    if (events.readyState === EventSource.CLOSED) {
      // Refused (too many pages open, or the board restarts): ask again later.
      showBanner('The board does not answer or has too many pages open; trying again.');
      events.close();
      setTimeout(listen, 10000);
    } else {
      showBanner('The connection to the board was lost; reconnecting.');
    }
  };
}

// ---- the plots ----

function askPlot() {
  // At most every 10 s while results come; at once after a choice.
  if (board.plotDue) return;
  board.plotDue = true;
  const wait = Math.max(0, board.lastPlot + 10000 - Date.now());
  setTimeout(fetchPlot, wait);
}

function fetchPlot() {
  board.plotDue = false;
  board.lastPlot = Date.now();
  const query = new URLSearchParams({ range: board.range, station: board.station, slot: board.slot });
  fetch('api/history?' + query.toString(), { credentials: 'same-origin' })
    .then((response) => {
      if (!response.ok) throw new Error('HTTP ' + response.status);
      return response.json();
    })
    .then((plot) => {
      board.plot = plot;
      byId('history-state').textContent = '';
      drawPlots();
    })
    .catch((error) => { byId('history-state').textContent = 'history not available: ' + error.message; });
}

function choose(station, slot) {
  board.station = station;
  board.slot = slot;
  for (const [name, card] of board.cards) card.classList.toggle('chosen', name === station);
  fillStationChoice();
  board.lastPlot = 0;
  board.plotDue = false;
  askPlot();
}

function fillSelect(select, first, names, chosen) {
  const wanted = [first, ...names].join('\u0000');
  if (select.dataset.names !== wanted) {
    select.replaceChildren();
    const all = el('option', '', first);
    all.value = '';
    select.append(all);
    for (const name of names) {
      const option = el('option', '', name);
      option.value = name;
      select.append(option);
    }
    select.dataset.names = wanted;
  }
  select.value = chosen;
}

function fillStationChoice() {
  fillSelect(byId('station'), 'Whole line', [...board.stations.keys()].sort(), board.station);
  const station = board.stations.get(board.station);
  const slots = station ? station.slots.map((slot) => slot.name) : [];
  fillSelect(byId('slot'), 'All slots', slots, board.slot);
  byId('slot').disabled = !station;
  byId('scope-name').textContent = board.station
    ? board.station + (board.slot ? ' \u203a ' + board.slot : '') : 'whole line';
}

function plotSize(svg, height) {
  const width = Math.max(200, svg.clientWidth || 600);
  svg.setAttribute('viewBox', '0 0 ' + width + ' ' + height);
  svg.replaceChildren();
  return width;
}

// The bins' times, labelled in local time along the bottom.
function timeAxis(svg, plot, left, width, height) {
  const bins = plot.bins.length;
  const hours = RANGE_HOURS[board.range];
  const every = hours <= 8 ? 4 : hours <= 24 ? 12 : 96;  // 1 h, 3 h, 1 day of 15 minutes
  svg.append(svgEl('line', { x1: left, y1: height - 16, x2: width, y2: height - 16, class: 'axis' }));
  for (let i = 0; i < bins; i += 1) {
    const start = plot.from + i * plot.bin_ms;
    const local = new Date(start);
    const minutes = local.getHours() * 60 + local.getMinutes();
    if ((minutes / 15) % every !== 0) continue;
    const x = left + (i + 0.5) * (width - left) / bins;
    const label = hours > 24
      ? local.toLocaleDateString([], { weekday: 'short', day: 'numeric' })
      : local.toLocaleTimeString([], { hour: '2-digit', minute: '2-digit' });
    svg.append(svgEl('text', { x, y: height - 3, 'text-anchor': 'middle' }, label));
  }
}

function drawBoxes(plot) {
  const svg = byId('plot-boxes');
  const height = 150, left = 30, top = 6, bottom = height - 18;
  const width = plotSize(svg, height);
  const most = Math.max(1, ...plot.bins.map((bin) => bin[0] + bin[1]));
  const scale = (bottom - top) / most;
  const step = (width - left) / plot.bins.length;
  svg.append(svgEl('text', { x: left - 4, y: top + 8, 'text-anchor': 'end' }, most));
  svg.append(svgEl('text', { x: left - 4, y: bottom, 'text-anchor': 'end' }, 0));
  plot.bins.forEach(([passes, fails], i) => {
    const x = left + i * step;
    const w = Math.max(1, step - 1);
    if (passes > 0) {
      svg.append(svgEl('rect', { x, y: bottom - passes * scale, width: w, height: passes * scale, class: 'pass' }));
    }
    if (fails > 0) {
      svg.append(svgEl('rect', { x, y: bottom - (passes + fails) * scale, width: w, height: fails * scale, class: 'fail' }));
    }
  });
  timeAxis(svg, plot, left, width, height);
}

function drawTime(plot) {
  const svg = byId('plot-time');
  const height = 120, left = 30, top = 6, bottom = height - 18;
  const width = plotSize(svg, height);
  const means = plot.bins.map((bin) => bin[2]);
  const most = Math.max(1, ...means.filter((mean) => mean !== null));
  const step = (width - left) / plot.bins.length;
  svg.append(svgEl('text', { x: left - 4, y: top + 8, 'text-anchor': 'end' }, Math.round(most)));
  svg.append(svgEl('text', { x: left - 4, y: bottom, 'text-anchor': 'end' }, 0));
  let points = '';
  means.forEach((mean, i) => {
    if (mean === null) return;
    const x = left + (i + 0.5) * step;
    const y = bottom - mean * (bottom - top) / most;
    points += x.toFixed(1) + ',' + y.toFixed(1) + ' ';
    const dot = svgEl('circle', { cx: x, cy: y, r: 2, class: 'dot' });
    dot.append(svgEl('title', {}, mean + ' s'));
    svg.append(dot);
  });
  if (points) svg.append(svgEl('polyline', { points, class: 'time' }));
  timeAxis(svg, plot, left, width, height);
}

// One bar a row: the name, the yield's share in green over the rest, the figures.
function drawYields(svg, rows, onPick) {
  const rowHeight = 18;
  const height = Math.max(rowHeight, rows.length * rowHeight);
  svg.style.height = height + 'px';
  const width = plotSize(svg, height);
  const nameWidth = Math.min(160, width * 0.35), figures = 118;
  const barWidth = Math.max(20, width - nameWidth - figures);
  rows.forEach(([name, passes, fails], i) => {
    const y = i * rowHeight;
    const label = svgEl('text', { x: 0, y: y + 13, class: 'name' }, name.length > 24 ? name.slice(0, 23) + '\u2026' : name);
    label.append(svgEl('title', {}, name));
    if (onPick) label.addEventListener('click', () => onPick(name));
    const boxes = passes + fails;
    const share = boxes > 0 ? passes / boxes : 0;
    svg.append(label,
      svgEl('rect', { x: nameWidth, y: y + 3, width: barWidth, height: rowHeight - 6, class: 'rest' }),
      svgEl('rect', { x: nameWidth, y: y + 3, width: barWidth * share, height: rowHeight - 6, class: 'pass' }),
      svgEl('text', { x: nameWidth + barWidth + 4, y: y + 13 },
        yieldText(passes, fails) + ' (' + passes + '/' + boxes + ')'));
  });
}

function drawPlots() {
  const plot = board.plot;
  if (!plot) return;
  drawBoxes(plot);
  drawTime(plot);
  drawYields(byId('plot-stations'), plot.stations, (name) => choose(name, ''));
  byId('slots-caption').textContent = board.station
    ? 'Yield per slot of ' + board.station : 'Yield per slot: choose a station';
  drawYields(byId('plot-slots'), plot.slots, (name) => choose(board.station, name));
  drawPareto(plot.pareto || []);
  linkCsv();
}

function start() {
  startWall();
  byId('station').addEventListener('change', (event) => choose(event.target.value, ''));
  byId('slot').addEventListener('change', (event) => choose(board.station, event.target.value));
  for (const button of document.querySelectorAll('.ranges button')) {
    button.addEventListener('click', () => {
      board.range = button.dataset.range;
      for (const other of document.querySelectorAll('.ranges button')) {
        other.classList.toggle('on', other === button);
      }
      choose(board.station, board.slot);
    });
  }
  window.addEventListener('resize', drawPlots);
  // The window of time moves on even when nothing happens.
  setInterval(askPlot, 60000);
  fillStationChoice();
  startSearch();
  listen();
}

// ---- the records: the failures' Pareto, the CSV of what is on screen, a box's records ----

// One bar a reason code: its count against the largest, then the count and the running share.
function drawPareto(rows) {
  const svg = byId('plot-pareto');
  byId('no-pareto').hidden = rows.length > 0;
  const rowHeight = 18;
  svg.style.height = Math.max(rowHeight, rows.length * rowHeight) + 'px';
  const width = plotSize(svg, rows.length * rowHeight);
  const nameWidth = Math.min(160, width * 0.35), figures = 130;
  const barWidth = Math.max(20, width - nameWidth - figures);
  const most = rows.length > 0 ? rows[0][1] : 1;
  rows.forEach(([code, count, share], i) => {
    const y = i * rowHeight;
    const name = code === '' ? '(no code)' : code;
    svg.append(
      svgEl('text', { x: 0, y: y + 13, class: 'name' }, name.length > 24 ? name.slice(0, 23) + '\u2026' : name),
      svgEl('rect', { x: nameWidth, y: y + 3, width: barWidth * count / most, height: rowHeight - 6, class: 'fail' }),
      svgEl('text', { x: nameWidth + barWidth + 4, y: y + 13, class: 'pareto-figures' },
        count + '  \u03a3 ' + Math.round(share * 100) + '%'));
  });
}

function linkCsv() {
  const query = new URLSearchParams({ range: board.range, station: board.station, slot: board.slot });
  byId('csv-link').href = 'api/export.csv?' + query.toString();
}

function findBox() {
  const box = byId('find-box').value.trim();
  if (!box) return;
  byId('find-state').textContent = 'looking\u2026';
  fetch('api/find?' + new URLSearchParams({ box }).toString(), { credentials: 'same-origin' })
    .then((response) => {
      if (!response.ok) throw new Error('HTTP ' + response.status);
      return response.json();
    })
    .then((found) => drawFound(found))
    .catch((error) => { byId('find-state').textContent = 'not available: ' + error.message; });
}

function drawFound(found) {
  const rows = byId('find-results');
  rows.replaceChildren();
  const records = found.records || [];
  byId('find-table').hidden = records.length === 0;
  byId('find-state').textContent = found.error ? 'not available: ' + found.error
    : records.length === 0 ? 'no record of ' + found.box
    : records.length + (records.length === 1 ? ' record' : ' records, oldest first');
  for (const record of records) {
    const row = el('tr', record.result === 'pass' ? '' : 'failed');
    const start = new Date(record.start || record.end);
    const log = record.log_file ? baseName(record.log_file) : '';
    for (const text of [isNaN(start) ? '' : start.toLocaleString(), record.station, record.slot,
      String(record.result || '').toUpperCase(), record.reason, record.attempt || 1,
      record.image ? baseName(record.image) : '', record.operator, log]) {
      row.append(el('td', '', text === undefined || text === null ? '' : text));
    }
    if (record.image_sha256) row.children[6].title = 'SHA-256 ' + record.image_sha256;
    if (record.log_file) row.children[8].title = record.log_file;
    rows.append(row);
  }
}

function startSearch() {
  byId('find-go').addEventListener('click', findBox);
  byId('find-box').addEventListener('keydown', (event) => { if (event.key === 'Enter') findBox(); });
  linkCsv();
}

start();
