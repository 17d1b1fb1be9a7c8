// The page's drawing worker: it holds the picture's strips (canvases the page
// has handed over with transferControlToOffscreen) and puts the traced rows
// on them, pixel for pixel (putImageData: no smoothing, no colour
// conversion), in batches of a few milliseconds per display frame. The
// strips go to the screen from here, without the page's thread: however big
// the picture, drawing it never holds up the page.
//
// page -> painter:
//   {cmd: 'strips', width, height, rows, count}  a new picture of `count`
//       strips, `rows` rows each (the last one fewer)
//   {cmd: 'canvases', first, canvases}  strips first.. of the picture, as
//       they are made (transparent until drawn); rows wait for their strip
//   {cmd: 'clear', seq}   the queue dropped, every strip transparent again
//   {cmd: 'drop', seq}    the queue dropped; what is drawn stays
//   {cmd: 'rows', seq, y0, rows, width, data, now}  rows y0.. of the picture;
//       `now`: drawn at the next display frame, not with later rows
//   {cmd: 'flush'}        what is queued is drawn at the next display frame
//   {cmd: 'compose', id, png}                      the whole picture, black
//       where no row has come: a PNG Blob, or its RGBA bytes
// painter -> page:
//   {type: 'drawn', seq}      everything up to `seq` is drawn (or dropped)
//   {type: 'tooBig', width, height}   the browser could not hold a strip
//   {type: 'composed', id, blob} or {type: 'composed', id, width, height, data}
'use strict';

// The drawing done per display frame, at most (about).
const DRAW_BUDGET_MS = 8;
// Strips changed per display frame, at most: each one changed is copied
// whole for the compositor as the frame is committed.
const STRIPS_PER_FRAME = 8;
// A hidden page has no display frames: then a timer draws.
const TIMER_MS = 50;
// Rows that trickle in are drawn together, at most this often (four times a
// second, as the status line follows the rows): every strip drawn on is
// copied whole for the compositor, and those copies take the cores the
// tracer's workers run on. Rows asked for at once, and rows that a draw
// could not all put, go at the next display frame.
const SETTLE_MS = 250;

let width = 0;
let height = 0;
let stripRows = 1;
// {canvas, context, drawn}
let strips = [];
// Rows waiting: {seq, y0, rows, width, data}.
let queue = [];
// The last command whose rows are all drawn (or dropped).
let doneSeq = 0;
let lastSeq = 0;
let frameId = 0;
let timerId = 0;
let settleId = 0;
let lastDraw = -Infinity;
let urgent = false;
let tooBig = false;

function context(strip) {
  if (strip.context === undefined) {
    try {
      strip.context = strip.canvas.getContext('2d', { alpha: true }) ?? null;
    } catch {
      strip.context = null;
    }
  }
  return strip.context;
}

const lost = (c) => !c || (c.isContextLost && c.isContextLost());

// Puts as many rows of the first queued item as fall in one strip; false
// when the strip could not be kept, null when it has not come yet.
function putFirst() {
  const item = queue[0];
  const index = Math.floor(item.y0 / stripRows);
  const strip = strips[index];
  if (!strip) return null;
  const top = index * stripRows;
  const n = Math.min(item.rows, top + stripRows - item.y0);
  const c = context(strip);
  if (lost(c)) return false;
  const bytes = n * item.width * 4;
  c.putImageData(new ImageData(item.data.subarray(0, bytes), item.width, n), 0, item.y0 - top);
  strip.drawn = true;
  if (lost(c)) return false;
  if (n === item.rows) {
    queue.shift();
    if (!queue.length || queue[0].seq !== item.seq) doneSeq = item.seq;
  } else {
    item.y0 += n;
    item.rows -= n;
    item.data = item.data.subarray(bytes);
  }
  return true;
}

function schedule() {
  if (frameId || timerId) return;
  const wait = urgent ? 0 : lastDraw + SETTLE_MS - performance.now();
  if (wait > 0) {
    if (!settleId)
      settleId = setTimeout(() => {
        settleId = 0;
        schedule();
      }, wait);
    return;
  }
  clearTimeout(settleId);
  settleId = 0;
  if (self.requestAnimationFrame) frameId = self.requestAnimationFrame(draw);
  timerId = setTimeout(draw, TIMER_MS);
}

// Drawn at the next display frame, without waiting for more rows.
function hurry() {
  if (!queue.length) return;
  urgent = true;
  schedule();
}

function draw() {
  if (frameId) self.cancelAnimationFrame(frameId);
  clearTimeout(timerId);
  frameId = 0;
  timerId = 0;
  const start = performance.now();
  lastDraw = start;
  const changed = new Set();
  while (queue.length && performance.now() - start < DRAW_BUDGET_MS) {
    const strip = Math.floor(queue[0].y0 / stripRows);
    if (!changed.has(strip) && changed.size >= STRIPS_PER_FRAME) break;
    changed.add(strip);
    const put = putFirst();
    // A strip not yet made: drawing goes on when it comes.
    if (put === null) return;
    if (!put) {
      fail();
      return;
    }
  }
  // Behind: the rest goes at the next display frame.
  urgent = queue.length > 0;
  if (queue.length) schedule();
  else answer();
}

function answer() {
  if (!queue.length) doneSeq = lastSeq;
  self.postMessage({ type: 'drawn', seq: doneSeq });
}

// The browser ran out of canvas memory: nothing more is drawn until the
// next picture.
function fail() {
  queue = [];
  tooBig = true;
  self.postMessage({ type: 'tooBig', width, height });
  answer();
}

function drainQueue() {
  while (queue.length) {
    const put = putFirst();
    if (put === null) return;
    if (!put) return fail();
  }
}

async function compose(id, png) {
  drainQueue();
  const canvas = new OffscreenCanvas(Math.max(1, width), Math.max(1, height));
  const c = canvas.getContext('2d');
  c.fillStyle = '#000';
  c.fillRect(0, 0, width, height);
  strips.forEach((s, i) => s && s.drawn && c.drawImage(s.canvas, 0, i * stripRows));
  if (png) {
    const blob = await canvas.convertToBlob({ type: 'image/png' });
    self.postMessage({ type: 'composed', id, blob });
  } else {
    const { data } = c.getImageData(0, 0, width, height);
    self.postMessage({ type: 'composed', id, width, height, data }, [data.buffer]);
  }
}

self.onmessage = ({ data: m }) => {
  switch (m.cmd) {
    case 'strips':
      ({ width, height } = m);
      stripRows = m.rows;
      strips = new Array(m.count);
      tooBig = false;
      break;
    case 'canvases':
      m.canvases.forEach((canvas, i) => (strips[m.first + i] = { canvas, context: undefined, drawn: false }));
      if (queue.length) schedule();
      break;
    case 'clear':
      for (const s of strips)
        if (s && s.drawn) {
          context(s)?.clearRect(0, 0, s.canvas.width, s.canvas.height);
          s.drawn = false;
        }
    // falls through
    case 'drop':
      queue = [];
      lastSeq = m.seq;
      answer();
      break;
    case 'rows':
      lastSeq = m.seq;
      if (tooBig || m.rows <= 0) {
        if (!queue.length) answer();
        break;
      }
      queue.push({ seq: m.seq, y0: m.y0, rows: m.rows, width: m.width, data: m.data });
      if (m.now) urgent = true;
      schedule();
      break;
    case 'flush':
      hurry();
      break;
    case 'compose':
      compose(m.id, m.png);
      break;
  }
};
