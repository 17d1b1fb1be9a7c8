// The playground's web worker: runs the WebAssembly build of Glimmark and
// speaks the protocol of web/PROTOCOL.md with the page. A frame is traced one
// row per call into the module; between rows the worker returns to its
// message queue, so that Stop ends the frame after the row being traced.
'use strict';

importScripts('glimmark_web.js');

// Where the page's files go (INCLUDE FILE and TEXTURE_FILE look here).
const SCENE_FOLDER = '/scene';
// Rows are sent to the page at most this often (and when a frame ends); the
// page draws them four times a second.
const ROWS_EVERY_MS = 100;

let module = null;
let api = null;
// The frame being traced: its width, height and the rows already sent.
let frame = null;
let tracing = false;
// Chunked (the page's workers): the chunks of rows the page has handed this
// worker for the pending frame, after the one being traced; `last` once the
// page has said no more come.
let chunked = false;
let chunks = [];
let lastChunk = false;
let chunkEnd = 0;
// What this run's work took here (for the page's benchmarks): milliseconds
// in the module parsing and tracing, and the chunks and rows traced.
let work = { parse: 0, trace: 0, chunks: 0, rows: 0 };
let pendingDelay = null;

// Back to the message queue without the clamping of nested timers. A
// message to itself comes after the page's messages already queued; now and
// then a timer as well, for event loops that serve their ports unevenly.
const TIMER_EVERY_MS = 50;
let lastTimer = 0;
const channel = new MessageChannel();
let resumeTrace = null;
channel.port1.onmessage = () => {
  const resume = resumeTrace;
  resumeTrace = null;
  if (resume) resume();
};
function yieldToMessages() {
  return new Promise((resolve) => {
    if (performance.now() - lastTimer >= TIMER_EVERY_MS) {
      lastTimer = performance.now();
      setTimeout(resolve, 0);
      return;
    }
    resumeTrace = resolve;
    channel.port2.postMessage(0);
  });
}

function sendRows(upTo) {
  if (!frame || upTo <= frame.sent) return;
  const y0 = frame.sent;
  const bytes = (upTo - y0) * frame.width * 4;
  const pointer = api.rgbaRows(y0, upTo);
  const pixels = new Uint8ClampedArray(bytes);
  pixels.set(module.HEAPU8.subarray(pointer, pointer + bytes));
  frame.sent = upTo;
  frame.lastSent = performance.now();
  self.postMessage({ type: 'rows', index: frame.index, y0, y1: upTo, width: frame.width, pixels }, [
    pixels.buffer,
  ]);
}

// The module's events (web/bridge/wasm_api.cpp), most of them messages as
// they are.
function onEvent(event) {
  switch (event.type) {
    case 'frame':
      // A band of the picture starts at its own first row; chunked, it has
      // no rows until the page hands it some.
      chunks = [];
      lastChunk = false;
      chunkEnd = 0;
      frame = {
        width: event.width,
        height: event.height,
        index: event.index,
        sent: event.bandBegin,
        lastSent: performance.now(),
      };
      self.postMessage(event);
      break;
    case 'frameDone':
      if (!chunked) sendRows(event.rows);
      frame = null;
      chunks = [];
      self.postMessage({ type: 'frameDone', index: event.index });
      break;
    case 'delay':
      // The animation's next frame may not start before its time.
      pendingDelay = setTimeout(() => {
        pendingDelay = null;
        api.nextFrameDue();
        trace();
      }, event.milliseconds);
      break;
    case 'done':
    case 'stopped':
      // With the memory the module has grown to (it never shrinks).
      self.postMessage({ ...event, memory: module.HEAPU8.length, work });
      break;
    default:
      self.postMessage(event);
  }
}

// Calls `call` with the command's scene as a NUL-terminated UTF-8 string in
// the module's memory (scenes may be longer than the stack holds). A long
// scene comes as UTF-8 byte arrays (`bytes`, in order), a shorter one as
// `text`.
function withText(command, call) {
  const parts = Array.isArray(command.bytes) ? command.bytes : null;
  const text = parts ? '' : String(command.text ?? '');
  const size = (parts ? parts.reduce((sum, part) => sum + part.length, 0) : module.lengthBytesUTF8(text)) + 1;
  const pointer = module._malloc(size);
  if (pointer === 0) {
    self.postMessage({
      type: 'message',
      caption: 'Glimmark Error',
      message: 'Out of memory. The scene needs more than this machine has.',
    });
    return;
  }
  try {
    if (parts) {
      let at = pointer;
      for (const part of parts) {
        module.HEAPU8.set(part, at);
        at += part.length;
      }
      module.HEAPU8[at] = 0;
    } else {
      module.stringToUTF8(text, pointer, size);
    }
    call(pointer);
  } finally {
    module._free(pointer);
  }
}

// Starts the next chunk the page has handed over; at the last, ends the
// frame. False when the page has yet to say what comes next.
function nextChunk() {
  if (chunks.length === 0) {
    if (!lastChunk) return false;
    module._gmk_end_frame();
    return true;
  }
  const [y0, y1] = chunks.shift();
  const started = performance.now();
  module._gmk_trace_chunk(y0, y1);
  work.trace += performance.now() - started;
  work.chunks += 1;
  work.rows += y1 - y0;
  frame.sent = y0;
  chunkEnd = y1;
  // One chunk waits behind the one traced, so that the page's answer never
  // keeps this worker idle.
  if (chunks.length === 0 && !lastChunk) self.postMessage({ type: 'more', index: frame.index });
  return true;
}

async function trace() {
  if (tracing) return;
  tracing = true;
  try {
    while (api.framePending()) {
      if (chunked && !api.chunkPending()) {
        if (frame && frame.sent < chunkEnd) sendRows(chunkEnd);
        if (!nextChunk()) break;
        continue;
      }
      const started = performance.now();
      const done = api.traceRows(1);
      work.trace += performance.now() - started;
      if (frame && done > frame.sent && performance.now() - frame.lastSent >= ROWS_EVERY_MS)
        sendRows(done);
      await yieldToMessages();
    }
  } finally {
    tracing = false;
  }
}

// The live preview's quick looks before its trace, as the studio takes them:
// passes of every 8th and then every 2nd pixel, at the picture's size halved
// until it holds at most 2048 x 2048 pixels, each sent as a bitmap of its
// samples (one per block). 'coarseDone' follows the last, or comes at once
// when the text cannot be looked at (the trace that follows says why). Stop
// is heard between the passes.
const COARSE_STEPS = [8, 2];
let coarseStop = false;
async function coarse(command) {
  coarseStop = false;
  module._gmk_set_time(typeof command.time === 'number' ? 1 : 0, command.time || 0);
  let ready = 0;
  withText(command, (text) => (ready = module._gmk_preview(text)));
  if (ready) {
    const [width, height, tracedWidth, tracedHeight] = [0, 1, 2, 3].map((i) => module._gmk_preview_size(i));
    for (const step of COARSE_STEPS) {
      await new Promise((resolve) => setTimeout(resolve, 0));
      if (coarseStop) break;
      const pointer = module._gmk_preview_pass(step);
      const columns = Math.ceil(tracedWidth / step);
      const rows = Math.ceil(tracedHeight / step);
      const pixels = new Uint8ClampedArray(columns * rows * 4);
      pixels.set(module.HEAPU8.subarray(pointer, pointer + pixels.length));
      const bitmap = await createImageBitmap(new ImageData(pixels, columns, rows));
      // The blocks of the last column and row may reach past the picture.
      self.postMessage(
        {
          type: 'coarse',
          step,
          width,
          height,
          cover: [(columns * step) / tracedWidth, (rows * step) / tracedHeight],
          bitmap,
        },
        [bitmap],
      );
    }
  }
  module._gmk_preview_clear();
  self.postMessage({ type: 'coarseDone', stopped: coarseStop });
}

function addFiles(files) {
  for (const [name, bytes] of Object.entries(files)) {
    const parts = name.split('/').filter((part) => part !== '' && part !== '.');
    if (parts.length === 0 || parts.includes('..')) continue;
    const path = SCENE_FOLDER + '/' + parts.join('/');
    module.FS.mkdirTree(path.slice(0, path.lastIndexOf('/')));
    module.FS.writeFile(path, bytes instanceof Uint8Array ? bytes : new Uint8Array(bytes));
  }
}

function onCommand(command) {
  switch (command.cmd) {
    case 'files':
      addFiles(command.files || {});
      break;
    case 'band':
      // This worker traces band `index` of `count` of every frame.
      module._gmk_set_band(command.index | 0, command.count | 0);
      break;
    case 'chunked':
      // Every frame is traced in the chunks of rows the page hands out.
      chunked = true;
      module._gmk_set_chunked(1);
      break;
    case 'chunk':
      // Rows [y0, y1) of frame `index` come next; none: the frame has no
      // more for this worker.
      if (!frame || frame.index !== command.index || !api.framePending()) break;
      if (command.y1 > command.y0) chunks.push([command.y0, command.y1]);
      else lastChunk = true;
      trace();
      break;
    case 'parse':
      withText(command, (text) => module._gmk_parse(text));
      break;
    case 'play': {
      module._gmk_set_time(typeof command.time === 'number' ? 1 : 0, command.time || 0);
      work = { parse: 0, trace: 0, chunks: 0, rows: 0 };
      const started = performance.now();
      withText(command, (text) => module._gmk_play(text));
      work.parse = performance.now() - started;
      trace();
      break;
    }
    case 'coarse':
      coarse(command);
      break;
    case 'stop':
      coarseStop = true;
      // Ends the frame after its current row, or the wait for the next one.
      if (pendingDelay !== null) {
        clearTimeout(pendingDelay);
        pendingDelay = null;
      }
      module._gmk_stop();
      break;
  }
}

const queued = [];
self.onmessage = (message) => {
  if (api) onCommand(message.data);
  else queued.push(message.data);
};

GlimmarkModule({
  onEvent,
  // A scene that needs more memory than the page may have ends the module;
  // the page starts a new worker.
  onAbort: (what) => self.postMessage({ type: 'fatal', message: String(what) }),
}).then((instance) => {
  module = instance;
  module.FS.mkdirTree(SCENE_FOLDER);
  api = {
    traceRows: module._gmk_trace_rows,
    framePending: () => module._gmk_frame_pending() !== 0,
    chunkPending: () => module._gmk_chunk_pending() !== 0,
    rgbaRows: module._gmk_rgba_rows,
    nextFrameDue: module._gmk_next_frame_due,
  };
  // With the milliseconds from the worker's start (the module fetched,
  // compiled and instantiated).
  self.postMessage({
    type: 'ready',
    version: module.UTF8ToString(module._gmk_version()),
    startMs: performance.now(),
  });
  for (const command of queued.splice(0)) onCommand(command);
});
