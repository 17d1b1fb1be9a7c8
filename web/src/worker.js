// The playground's web worker: runs the WebAssembly build of Glimmark and
// speaks the protocol of web/PROTOCOL.md with the page. A frame is traced one
// row per call into the module; between rows the worker returns to its
// message queue, so that Stop ends the frame after the row being traced.
'use strict';

importScripts('glimmark_web.js');

// Where the page's files go (INCLUDE FILE and TEXTURE_FILE look here).
const SCENE_FOLDER = '/scene';
// Rows are sent to the page at most this often (and when a frame ends).
const ROWS_EVERY_MS = 40;

let module = null;
let api = null;
// The frame being traced: its width, height and the rows already sent.
let frame = null;
let tracing = false;
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
      // A band of the picture starts at its own first row.
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
      sendRows(event.rows);
      frame = null;
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
      self.postMessage({ ...event, memory: module.HEAPU8.length });
      break;
    default:
      self.postMessage(event);
  }
}

// Calls `call` with the text as a NUL-terminated UTF-8 string in the module's
// memory (scenes may be longer than the stack holds).
function withText(text, call) {
  const size = module.lengthBytesUTF8(text) + 1;
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
    module.stringToUTF8(text, pointer, size);
    call(pointer);
  } finally {
    module._free(pointer);
  }
}

async function trace() {
  if (tracing) return;
  tracing = true;
  try {
    while (api.framePending()) {
      const done = api.traceRows(1);
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
  withText(command.text || '', (text) => (ready = module._gmk_preview(text)));
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
    case 'parse':
      withText(command.text || '', (text) => module._gmk_parse(text));
      break;
    case 'play':
      module._gmk_set_time(typeof command.time === 'number' ? 1 : 0, command.time || 0);
      withText(command.text || '', (text) => module._gmk_play(text));
      trace();
      break;
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
    rgbaRows: module._gmk_rgba_rows,
    nextFrameDue: module._gmk_next_frame_due,
  };
  self.postMessage({ type: 'ready', version: module.UTF8ToString(module._gmk_version()) });
  for (const command of queued.splice(0)) onCommand(command);
});
