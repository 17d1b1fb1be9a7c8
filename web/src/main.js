// The playground page: the scene editor, Parse (F4), Play (F5) and Stop (F7)
// as in the studio, the picture traced in bands by the workers, a live
// preview, the examples, sharing by link, Save Picture and Download Scene.
// The text is kept in the browser's storage as it is typed.
import { EditorState, EditorSelection, Text } from '@codemirror/state';
import {
  EditorView,
  keymap,
  lineNumbers,
  highlightActiveLine,
  highlightActiveLineGutter,
  drawSelection,
} from '@codemirror/view';
import { defaultKeymap, history, historyKeymap, indentWithTab } from '@codemirror/commands';
import { searchKeymap } from '@codemirror/search';
import { setDiagnostics } from '@codemirror/lint';
import { sceneHighlighting } from './highlight.js';
import { Picture } from './picture.js';
import { Links } from './links.js';
import { MAX_SCENE_CHARACTERS } from './share.js';
import { RowChunks, Tracers, workerCount } from './tracers.js';
import { nextTask } from './turns.js';
import { PictureView } from './view.js';
import { exampleFiles } from 'glimmark-examples';

const $ = (id) => document.getElementById(id);
const ui = {
  parse: $('parse'),
  play: $('play'),
  stop: $('stop'),
  examples: $('examples'),
  savePicture: $('save-picture'),
  downloadScene: $('download-scene'),
  share: $('share'),
  open: $('open'),
  openFile: $('open-file'),
  status: $('run-status'),
  note: $('status-note'),
  place: $('caret-place'),
  box: $('message-box'),
  boxCaption: $('message-caption'),
  boxText: $('message-text'),
  canvas: $('picture'),
  editor: $('editor'),
  view: $('view'),
  hint: $('view-hint'),
  live: $('live'),
  theme: $('theme'),
  keys: $('keys'),
  keysBox: $('keys-box'),
  fit: $('fit'),
  actual: $('actual'),
  zoomIn: $('zoom-in'),
  zoomOut: $('zoom-out'),
  zoomText: $('zoom-text'),
};

const DEFAULT_EXAMPLE = 'first_sphere.gmk';
let sceneName = 'scene.gmk';
let loadedText = '';

// ---- the editor -------------------------------------------------------------

function placeText(state, position) {
  const line = state.doc.lineAt(position);
  return `Line ${line.number}, Col ${position - line.from + 1}`;
}

let fragmentTimer = 0;
// True while the page itself replaces the text.
let settingText = false;
const editor = new EditorView({
  parent: ui.editor,
  state: EditorState.create({
    doc: '',
    extensions: [
      lineNumbers(),
      highlightActiveLineGutter(),
      highlightActiveLine(),
      history(),
      drawSelection(),
      keymap.of([indentWithTab, ...defaultKeymap, ...historyKeymap, ...searchKeymap]),
      sceneHighlighting,
      EditorView.updateListener.of((update) => {
        if (update.selectionSet || update.docChanged)
          ui.place.textContent = placeText(update.state, update.state.selection.main.head);
        if (update.docChanged) {
          // A link that could not be read stays until the text is changed.
          if (!settingText) keepLink = false;
          clearTimeout(fragmentTimer);
          if (!keepLink) fragmentTimer = setTimeout(writeFragment, 400);
          // An emptied editor starts a new scene, with a name of its own.
          if (update.state.doc.length === 0) sceneName = 'scene.gmk';
          scheduleSave();
          scheduleLivePreview();
        }
      }),
    ],
  }),
});

function editorText() {
  return editor.state.doc.toString();
}

// Replacing the text abandons a replacement still going on in pieces.
let textSeq = 0;

function setEditorText(text, name) {
  ++textSeq;
  // The editor keeps "\n" line ends; a file's "\r\n" become "\n".
  const clean = text.replace(/\r\n?/g, '\n');
  settingText = true;
  try {
    editor.dispatch({
      changes: { from: 0, to: editor.state.doc.length, insert: clean },
      selection: EditorSelection.cursor(0),
      scrollIntoView: true,
    });
  } finally {
    settingText = false;
  }
  loadedText = clean;
  if (name) sceneName = name;
  // Stored in a task of its own, after the editor has drawn the text (leaving
  // the page stores it at once).
  scheduleSave();
}

// Long texts go into the editor and come out of it a piece per task: a link
// of a few kilobytes may hold sixteen million characters, and splitting
// those into lines, joining them or passing them between threads takes a
// tenth of a second and more. A text of one piece or less goes in at once.
const PIECE_CHARACTERS = 1 << 16;
// The lines made in one task: a piece may hold 65,536 lines, and a piece of
// line ends took 30 to 50 ms to make into lines.
const LINES_PER_TASK = 1 << 14;
// The characters the editor takes in one change, about.
const GROUP_CHARACTERS = 16 * PIECE_CHARACTERS;

function piecesOfText(text) {
  const pieces = [];
  for (let at = 0; at < text.length; at += PIECE_CHARACTERS) pieces.push(text.slice(at, at + PIECE_CHARACTERS));
  return pieces;
}

// UTF-8 bytes as text, decoded a piece per task.
async function piecesOfBytes(bytes) {
  const decoder = new TextDecoder();
  const pieces = [];
  for (let at = 0; at < bytes.length; at += PIECE_CHARACTERS) {
    pieces.push(decoder.decode(bytes.subarray(at, at + PIECE_CHARACTERS), { stream: true }));
    await nextTask();
  }
  pieces.push(decoder.decode());
  return pieces;
}

// The text of `pieces` into the editor as setEditorText puts it, a piece per
// task when it is long; false when another text replaced it first.
async function setEditorTextInTurns(pieces, name) {
  const length = pieces.reduce((sum, piece) => sum + piece.length, 0);
  if (length <= PIECE_CHARACTERS) {
    setEditorText(pieces.join(''), name);
    return true;
  }
  const seq = ++textSeq;
  // The text in groups of about a megabyte, each part joined onto its group
  // in the task that makes it: a group joined in one task took 50 to 80 ms
  // for 350,000 short lines.
  const groups = [];
  const addDoc = (doc) => {
    const last = groups.length - 1;
    if (last < 0 || groups[last].length >= GROUP_CHARACTERS) groups.push(doc);
    else groups[last] = groups[last].append(doc);
  };
  let loaded = '';
  let carried = '';
  let open = [];
  for (let i = 0; i < pieces.length; ++i) {
    let piece = carried + pieces[i];
    carried = '';
    // A "\r\n" split between two pieces becomes one line end.
    if (i + 1 < pieces.length && piece.endsWith('\r')) {
      carried = '\r';
      piece = piece.slice(0, -1);
    }
    const clean = piece.replace(/\r\n?/g, '\n');
    loaded += clean;
    // A line running on into the next piece is joined once, when it ends:
    // the editor, joining it piece by piece, made a new copy of the whole
    // line with every piece (a 16-million-letter line, 44 ms each time; a
    // copy of 16 MB takes that long here, wherever it is made).
    const lines = clean.split('\n');
    const rest = lines.pop();
    if (lines.length > 0) {
      open.push(lines[0]);
      lines[0] = open.join('');
      open = [];
      for (let at = 0; at < lines.length; at += LINES_PER_TASK) {
        if (at > 0) {
          await nextTask();
          if (seq !== textSeq) return false;
        }
        // Ended by an empty line, which the next part's first line joins.
        const part = lines.slice(at, at + LINES_PER_TASK);
        part.push('');
        addDoc(Text.of(part));
      }
    }
    open.push(rest);
    await nextTask();
    if (seq !== textSeq) return false;
  }
  addDoc(Text.of([open.join('')]));
  await nextTask();
  if (seq !== textSeq) return false;
  // A first few lines replace the text, so that the editor has little to
  // colour and draw at once; the rest follows a group at a time, each added
  // at the end, and undo takes the whole of it back at once. The first lines
  // end with a line, which then needs no joining again.
  const first = groups[0].lineAt(Math.min(groups[0].length, 1 << 14)).to;
  groups.unshift(groups[0].slice(0, first));
  groups[1] = groups[1].slice(first);
  // Out of focus meanwhile: a focused editor places the browser's selection
  // anew after every change it draws, and that lays the page out again.
  const focused = editor.hasFocus;
  if (focused) editor.contentDOM.blur();
  try {
    for (const [i, doc] of groups.entries()) {
      const end = editor.state.doc.length;
      settingText = true;
      try {
        editor.dispatch(
          i === 0
            ? { changes: { from: 0, to: end, insert: doc }, selection: EditorSelection.cursor(0), scrollIntoView: true }
            : { changes: { from: end, insert: doc } },
        );
      } finally {
        settingText = false;
      }
      await nextTask();
      if (seq !== textSeq) return false;
    }
  } finally {
    if (focused) editor.focus();
  }
  loadedText = loaded;
  if (name) sceneName = name;
  scheduleSave();
  return true;
}

// The editor's text as UTF-8 byte arrays, a piece per task: `copies` lists
// of them, each list its own copy (a piece is copied quickly; sixteen
// megabytes at once took 45 ms here).
async function editorBytesInTurns(copies = 1) {
  const doc = editor.state.doc;
  const encoder = new TextEncoder();
  const parts = [];
  const more = Array.from({ length: copies - 1 }, () => []);
  let at = 0;
  do {
    let end = Math.min(doc.length, at + PIECE_CHARACTERS);
    // A surrogate pair stays in one piece: each half alone would be encoded
    // as U+FFFD.
    const last = end > at ? doc.sliceString(end - 1, end).charCodeAt(0) : 0;
    if (last >= 0xd800 && last < 0xdc00 && end < doc.length) ++end;
    const part = encoder.encode(doc.sliceString(at, end));
    parts.push(part);
    for (const list of more) list.push(part.slice());
    at = end;
    if (doc.length > PIECE_CHARACTERS) await nextTask();
  } while (at < doc.length);
  return [parts, ...more];
}

// ---- errors in the editor -------------------------------------------------------

// The error's word underlined, its message on hover.
function markError(from, to, message) {
  const length = editor.state.doc.length;
  const a = Math.max(0, Math.min(from, length));
  const b = Math.max(a, Math.min(Math.max(to, a + 1), length));
  editor.dispatch(setDiagnostics(editor.state, [{ from: a, to: b, severity: 'error', message }]));
}
function clearError() {
  editor.dispatch(setDiagnostics(editor.state, []));
}

// ---- the text kept in the browser ---------------------------------------------------

const STORE_TEXT = 'glimmark.scene';
const STORE_NAME = 'glimmark.sceneName';
// The text as last kept; null when the browser keeps nothing for the page.
let savedText = null;
try {
  savedText = localStorage.getItem(STORE_TEXT);
} catch {
  savedText = null;
}
// Longer texts are not kept: joining them and storing them would hold up
// the page for a tenth of a second and more, and browsers keep about five
// million characters for a page. Leaving asks first instead.
const STORE_MAX_CHARACTERS = 1000000;
let saveTimer = 0;
function scheduleSave() {
  clearTimeout(saveTimer);
  saveTimer = setTimeout(saveNow, 300);
}
function saveNow() {
  clearTimeout(saveTimer);
  if (editor.state.doc.length > STORE_MAX_CHARACTERS) return;
  const text = editorText();
  if (text === savedText) return;
  try {
    localStorage.setItem(STORE_TEXT, text);
    localStorage.setItem(STORE_NAME, sceneName);
    savedText = text;
  } catch {
    // Too big for the browser's storage: leaving asks first.
  }
}
window.addEventListener('beforeunload', (e) => {
  saveNow();
  const text = editorText();
  if (text !== savedText && text !== loadedText) {
    e.preventDefault();
    e.returnValue = '';
  }
});

// ---- the live preview ---------------------------------------------------------------

// A trace 150 ms after the last edit, coarse passes first (the lead worker
// looks at the scene at every 8th and every 2nd pixel, as the studio's
// preview does, then every worker traces its band); the last good picture
// stays, dimmed, while the text has an error.
const LIVE_DELAY_MS = 150;
let liveTimer = 0;
function scheduleLivePreview() {
  clearTimeout(liveTimer);
  if (!ui.live.checked) return;
  liveTimer = setTimeout(livePreview, LIVE_DELAY_MS);
}
function livePreview() {
  if (!ui.live.checked) return;
  if (run.active) {
    // The run in the way ends first; only the newest text is traced.
    stopRun();
    if (run.active) {
      afterRun = () => startRun(true, true);
      return;
    }
  }
  startRun(true, true);
}

function selectText(from, to) {
  const length = editor.state.doc.length;
  const a = Math.max(0, Math.min(from, length));
  const b = Math.max(a, Math.min(to, length));
  editor.dispatch({ selection: EditorSelection.range(a, b), scrollIntoView: true });
  editor.focus();
}

// ---- message boxes and the status line ---------------------------------------

let noteTimer = 0;
function showStatus(text) {
  ui.status.textContent = text;
}
// A passing note over the status line, which keeps following the run below it.
function flashStatus(text, ms) {
  clearTimeout(noteTimer);
  ui.note.textContent = text;
  ui.note.hidden = false;
  ui.status.hidden = true;
  noteTimer = setTimeout(() => {
    ui.note.hidden = true;
    ui.status.hidden = false;
  }, ms);
}

function messageBox(text, caption) {
  ui.boxCaption.textContent = caption;
  ui.boxText.textContent = text;
  if (!ui.box.open) ui.box.showModal();
}
ui.box.addEventListener('close', () => editor.focus());

// ---- the workers --------------------------------------------------------------

const picture = new Picture(ui.canvas);
const pictureView = new PictureView({
  pane: ui.view,
  holder: ui.canvas,
  picture,
  fit: ui.fit,
  actual: ui.actual,
  zoomIn: ui.zoomIn,
  zoomOut: ui.zoomOut,
  zoomText: ui.zoomText,
});
picture.onResize = () => pictureView.layout();
// The browser ran out of canvas memory for the picture: the run ends and
// says so (the command line traces such pictures).
picture.onTooBig = (width, height) => {
  if (!run.active) return;
  run.tooBig = `The browser cannot hold a picture of ${width} x ${height} pixels; glimmark render traces it.`;
  stopRun();
};
const run = {
  active: false,
  build: false,
  live: false,
  traced: false,
  // The run's number (runCount when it started).
  id: 0,
  started: 0,
  frame: 0,
  frames: 1,
  height: 0,
  rows: new Map(),
  // The workers the run waits for, and how it ended for the lead (band 0).
  pending: new Set(),
  workers: 0,
  framesDone: new Map(),
  stopRequested: false,
  stopTimer: 0,
  stopped: false,
  lead: null,
  message: '',
  // The live preview's coarse passes are being taken (by the lead alone).
  coarse: false,
};
// What the last live preview showed, in order: 'coarse 8', 'coarse 2',
// 'frame' (for the tests).
const previewShown = [];

function onWorkerMessage(slot, m) {
  if (!m || !m.type) return;
  if (m.type === 'fatal') {
    // The tracer's module has ended (out of memory): a new worker takes
    // over, and the run ends with the box.
    const wasInRun = run.pending.delete(slot);
    tracers.replace(slot);
    if (wasInRun) {
      abortRun();
      showStatus('');
      messageBox(m.message, 'Glimmark Error');
    }
    return;
  }
  if (m.type === 'workerError') {
    showStatus(`The tracer could not start: ${m.message}`);
    run.pending.delete(slot);
    if (run.active) abortRun();
    return;
  }
  // A worker no longer in the run (it has answered for it) says nothing more.
  if (!run.active || !run.pending.has(slot)) return;
  const lead = slot === tracers.lead;
  switch (m.type) {
    case 'parsed':
      run.pending.delete(slot);
      endRun();
      showStatus(doneText());
      if (!run.live) messageBox(m.message, m.caption);
      break;
    case 'error':
      // The studio's parse error: its word underlined in the editor, the
      // message there and on the status line; the box and the word selected
      // when asked for by F4/F5. Every band finds it; the lead says it.
      if (!lead) break;
      showStatus(m.status);
      markError(m.from, m.to, m.status);
      if (!run.build) {
        run.pending.delete(slot);
        endRun();
      }
      if (!run.live) {
        messageBox(m.message, m.caption);
        selectText(m.from, m.to);
      }
      break;
    case 'message':
      // A box ends a parse; a trace goes on, or says it is over.
      if (!lead) break;
      run.message = m.message;
      if (!run.build) {
        run.pending.delete(slot);
        endRun();
        showStatus(m.message);
      }
      if (!run.live) messageBox(m.message, m.caption);
      break;
    case 'status':
      if (lead) flashStatus(m.message, 4000);
      break;
    case 'coarse':
      if (!run.coarse) break;
      ui.hint.hidden = true;
      ui.view.classList.remove('stale');
      picture.coarse(m);
      previewShown.push(`coarse ${m.step}`);
      break;
    case 'coarseDone':
      if (!run.coarse) break;
      run.coarse = false;
      if (run.stopRequested || m.stopped) {
        run.pending.delete(slot);
        run.stopped = true;
        finishRun();
        break;
      }
      startTrace();
      break;
    case 'frame':
      // The worker's first chunk of the frame, and one to wait behind it.
      if (handChunk(slot, m.index, m.height)) handChunk(slot, m.index, m.height);
      if (m.index === 0 && !run.rowCounts) run.rowCounts = new Uint16Array(m.height);
      run.frame = m.index;
      run.frames = m.count;
      run.height = m.height;
      ui.hint.hidden = true;
      ui.view.classList.remove('stale');
      if (run.live && previewShown.at(-1) !== 'frame') previewShown.push('frame');
      picture.startFrame(m);
      scheduleRunStatus();
      break;
    case 'more':
      handChunk(slot, m.index, run.height);
      break;
    case 'rows':
      if (m.index === 0 && run.rowCounts) for (let y = m.y0; y < m.y1; ++y) run.rowCounts[y] += 1;
      picture.rows(m);
      run.rows.set(m.index, (run.rows.get(m.index) ?? 0) + (m.y1 - m.y0));
      scheduleRunStatus();
      break;
    case 'frameDone': {
      const done = (run.framesDone.get(m.index) ?? 0) + 1;
      run.framesDone.set(m.index, done);
      if (done === run.workers) {
        run.chunks.forget(m.index);
        picture.frameDone(m.index);
        // Every row is traced; the status says so while they are drawn.
        run.rows.set(m.index, run.height);
      }
      break;
    }
    case 'done':
    case 'stopped':
      workerMemory = Math.max(workerMemory, m.memory ?? 0);
      run.pending.delete(slot);
      if (m.type === 'stopped') run.stopped = true;
      if (lead) run.lead = m;
      if (m.work) run.work.push({ band: slot.index, ...m.work });
      if (run.pending.size === 0) finishRun();
      break;
  }
}

const tracers = new Tracers(workerCount(location.search), onWorkerMessage);
run.chunks = new RowChunks(tracers.count);

// Gives the worker the next chunk of the frame's rows, or says there are no
// more; true when there were.
function handChunk(slot, index, height) {
  const [y0, y1] = run.chunks.next(index, height);
  slot.worker.postMessage({ cmd: 'chunk', index, y0, y1 });
  return y1 > y0;
}
// The most memory a worker's module has held (bytes), for the tests.
let workerMemory = 0;

const doneText = () => `Done in ${((performance.now() - run.started) / 1000).toFixed(2)} s`;

// The status line follows the rows a few times a second: every change of it
// costs the page a layout and a paint, taken from the cores the workers trace on.
const STATUS_EVERY_MS = 250;
let statusPending = false;
let statusShownAt = -Infinity;
function refreshRunStatus() {
  statusPending = false;
  statusShownAt = performance.now();
  if (!run.active || !run.build || run.height === 0) return;
  const total = Math.max(1, run.height);
  const done = Math.min(Math.max(run.rows.get(run.frame) ?? 0, 0), total);
  const rows = `Tracing row ${done} of ${total}, ${Math.floor((done * 100) / total)} %`;
  showStatus(run.frames <= 1 ? rows : `Frame ${run.frame + 1} of ${run.frames} \u00B7 ${rows}`);
}
function scheduleRunStatus() {
  if (statusPending) return;
  statusPending = true;
  const wait = Math.max(0, statusShownAt + STATUS_EVERY_MS - performance.now());
  setTimeout(() => requestAnimationFrame(refreshRunStatus), wait);
}

// Every worker of the run has answered: the run is over.
function finishRun() {
  clearTimeout(run.stopTimer);
  const m = run.lead ?? { failed: true, status: '' };
  if (run.stopped || run.stopRequested) {
    picture.reset();
    endRun();
    showStatus(run.tooBig || 'Stopped');
    return;
  }
  if (m.failed) {
    // A parse error keeps its line; another error says what it was.
    endRun();
    if (m.status || run.message) showStatus(m.status || run.message);
    if (run.live) ui.view.classList.add('stale');
    return;
  }
  run.traced = true;
  const status = !m.status || /^Done in /.test(m.status) ? doneText() : m.status;
  picture.whenAllShown(() => {
    if (!run.active) return;
    endRun();
    showStatus(status);
  });
}

// The run ends at once; its workers' later messages are not heard.
function abortRun() {
  clearTimeout(run.stopTimer);
  // Their messages would be taken for the next run's: they start anew.
  for (const slot of run.pending) tracers.replace(slot);
  run.pending.clear();
  picture.reset();
  endRun();
}

function setRunning(active, build) {
  run.active = active;
  run.build = build;
  ui.play.disabled = active && build;
  ui.parse.disabled = false;
  document.body.classList.toggle('running', active);
}

function endRun() {
  clearTimeout(run.stopTimer);
  // From Stop to idle, for the tests.
  if (run.stopRequested && run.active) document.body.dataset.stopMs = (performance.now() - run.stopAt).toFixed(0);
  setRunning(false, false);
  if (afterRun) {
    const next = afterRun;
    afterRun = null;
    setTimeout(next, 0);
  }
}
// What starts once the run is over (a live preview of newer text).
let afterRun = null;

// Runs started, to tell a run's late work from the next run's.
let runCount = 0;

function startRun(build, live = false) {
  if (run.active) {
    flashStatus('A trace is running; Stop (F7) ends it.', 4000);
    return;
  }
  setRunning(true, build);
  Object.assign(run, {
    live,
    started: performance.now(),
    height: 0,
    frames: 1,
    frame: 0,
    traced: false,
    stopRequested: false,
    stopped: false,
    lead: null,
    message: '',
    coarse: live && build,
    tooBig: '',
  });
  run.rows.clear();
  run.framesDone.clear();
  run.chunks.clear();
  run.rowCounts = null;
  run.work = [];
  clearError();
  showStatus(live ? 'Live preview\u2026' : 'Parsing\u2026');
  picture.reset();
  runScene = { name: sceneName };
  run.pending = new Set();
  const id = ++runCount;
  run.id = id;
  if (editor.state.doc.length <= PIECE_CHARACTERS) {
    sendScene({ text: editorText() });
    return;
  }
  // A long text goes to the workers as UTF-8 bytes made a piece per task, a
  // copy handed over to each: as one string (joined, then copied as each
  // worker is sent it) sixteen million characters held the page for a
  // quarter of a second, and as bytes sent, not handed over, 0.13 s per
  // worker. One copy is made for each worker to be sent it, and one kept.
  // Stop meanwhile ends the run at once.
  const posts = (run.coarse ? 1 : 0) + (build ? tracers.count : 1);
  editorBytesInTurns(posts + 1).then((copies) => {
    if (run.active && run.id === id && !run.stopRequested) sendScene({ copies });
  });
}

// The run's scene to a worker with a command: the text, or a copy of its
// bytes (the last is kept, and copied should a worker need one more).
function postScene(slot, cmd) {
  const { text, copies } = runScene.scene;
  if (copies === undefined) {
    slot.worker.postMessage({ cmd, text });
    return;
  }
  const bytes = copies.length > 1 ? copies.pop() : copies[0].map((part) => part.slice());
  slot.worker.postMessage({ cmd, bytes }, bytes.map((part) => part.buffer));
}

function sendScene(scene) {
  runScene.scene = scene;
  if (run.coarse) {
    // The live preview's coarse passes come first, from the lead.
    previewShown.length = 0;
    run.pending = new Set([tracers.lead]);
    run.workers = 1;
    postScene(tracers.lead, 'coarse');
    return;
  }
  startTrace();
}

// A parse needs one worker; a trace all of them, a band each.
function startTrace() {
  const slots = run.build ? [...tracers.slots] : [tracers.lead];
  run.pending = new Set(slots);
  run.workers = slots.length;
  for (const slot of slots) postScene(slot, run.build ? 'play' : 'parse');
}

// How long a worker may take to answer Stop before it is replaced: a tracing
// worker answers after its row (a few milliseconds, some tens for the widest
// rows), one in a long parse never does. With room for a busy machine's late
// timers, the page is idle again well within half a second.
const STOP_GRACE_MS = 250;

function stopRun() {
  afterRun = null;
  if (!run.active) return;
  if (run.traced) {
    // Every frame is traced; only their showing is left.
    picture.reset();
    endRun();
    showStatus(run.tooBig || 'Stopped');
    return;
  }
  if (run.stopRequested) return;
  run.stopRequested = true;
  run.stopAt = performance.now();
  // Still making the text's bytes: no worker has it yet.
  if (run.pending.size === 0) {
    finishRun();
    return;
  }
  for (const slot of run.pending) slot.worker.postMessage({ cmd: 'stop' });
  // A worker busy in a long parse cannot hear Stop: it is ended and replaced.
  run.stopTimer = setTimeout(() => {
    for (const slot of [...run.pending]) {
      tracers.replace(slot);
      run.pending.delete(slot);
    }
    if (run.active) finishRun();
  }, STOP_GRACE_MS);
}

// ---- examples, files, saving ----------------------------------------------------

function exampleBytes(name) {
  const file = exampleFiles[name];
  if (typeof file === 'string') return new TextEncoder().encode(file);
  return Uint8Array.from(atob(file.base64), (c) => c.charCodeAt(0));
}

async function loadExamples() {
  for (const name of Object.keys(exampleFiles).filter((n) => n.endsWith('.gmk'))) {
    const option = document.createElement('option');
    option.value = name;
    option.textContent = name;
    ui.examples.append(option);
  }
  // Every file of the examples folder is in the tracer's folder, for INCLUDE
  // FILE and TEXTURE_FILE.
  const files = {};
  for (const name of Object.keys(exampleFiles)) files[name] = exampleBytes(name);
  tracers.giveFiles(files);
}

function openExample(name) {
  setEditorText(exampleFiles[name], name);
  document.body.dataset.scene = name;
  if (!keepLink) writeFragment();
}

function changedSinceLoad() {
  const text = editorText();
  return text.trim() !== '' && text !== loadedText;
}

function download(blob, name) {
  const a = document.createElement('a');
  a.href = URL.createObjectURL(blob);
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 10000);
}

const baseName = (name = sceneName) => name.replace(/\.[^.]*$/, '') || 'scene';
// The scene of the last run: its name and text.
let runScene = null;

async function savePicture() {
  // Named after the scene the picture was traced from.
  download(await picture.pngBlob(), `${baseName(runScene?.name)}.png`);
}

function downloadScene() {
  download(new Blob([editorText()], { type: 'text/plain' }), `${baseName()}.gmk`);
}

// A file's text as the studio reads it: valid UTF-8 as UTF-8, anything else
// one character per byte.
function sceneText(bytes) {
  try {
    return new TextDecoder('utf-8', { fatal: true }).decode(bytes);
  } catch {
    let text = '';
    for (const b of bytes) text += String.fromCharCode(b);
    return text;
  }
}

// Files opened or dropped: a scene goes into the editor, and every file goes
// into the tracer's folder under its own name.
async function takeFiles(fileList) {
  const files = {};
  let scene = null;
  for (const file of fileList) {
    const bytes = new Uint8Array(await file.arrayBuffer());
    files[file.name] = bytes;
    if (!scene && /\.gmk$/i.test(file.name)) scene = { file, bytes };
  }
  tracers.giveFiles(files);
  if (scene) {
    if (changedSinceLoad() && !confirm(`Replace the editor's text with ${scene.file.name}?`)) return;
    if (await setEditorTextInTurns(piecesOfText(sceneText(scene.bytes)), scene.file.name)) writeFragment();
  } else {
    flashStatus(`Added ${Object.keys(files).join(', ')} for INCLUDE FILE and TEXTURE_FILE.`, 4000);
  }
}

// ---- the link ------------------------------------------------------------------

// A link whose scene could not be read stays in the address bar, to be
// mended and opened again, until the text is changed.
let keepLink = false;

const links = new Links();
// Only the newest text's link is written.
let fragmentSeq = 0;

async function writeFragment() {
  clearTimeout(fragmentTimer);
  keepLink = false;
  const before = location.hash;
  const seq = ++fragmentSeq;
  try {
    const [parts] = await editorBytesInTurns();
    const fragment = await links.write(parts);
    // A link opened meanwhile is not written over.
    if (seq === fragmentSeq && location.hash === before) window.history.replaceState(null, '', `#${fragment}`);
  } catch {
    // No link for this text (the browser refused an address that long); the
    // address keeps the last one.
  }
  return location.href;
}

// The scene of a fragment: {bytes} (UTF-8), {none: true} when it carries
// none, or {why}: what the page says of a link it cannot read.
async function linkScene(fragment) {
  const found = await links.read(fragment);
  return found.why ? { why: `The scene in this link could not be read: ${found.why}.` } : found;
}

// Opens the address's scene; asks first when it would replace other text
// (`against`: the text it is compared with). True when it is in the editor.
async function readFragment(against, question, hash = location.hash) {
  const found = await linkScene(hash);
  if (found.none) return false;
  if (found.why) {
    keepLink = true;
    showStatus(found.why);
    return false;
  }
  const pieces = await piecesOfBytes(found.bytes);
  const differs = () =>
    against.length !== pieces.reduce((sum, piece) => sum + piece.length, 0) || against !== pieces.join('');
  if (against && against.trim() !== '' && differs() && !confirm(question)) {
    keepLink = true;
    return false;
  }
  if (!(await setEditorTextInTurns(pieces, 'scene.gmk'))) return false;
  // The address holds this text's link already.
  clearTimeout(fragmentTimer);
  showStatus('');
  return true;
}

async function shareLink() {
  const link = await writeFragment();
  try {
    await navigator.clipboard.writeText(link);
    flashStatus('The link to this scene is on the clipboard.', 4000);
  } catch {
    flashStatus('The link to this scene is in the address bar.', 4000);
  }
}

// ---- commands and keys ---------------------------------------------------------

const commands = {
  parse: () => startRun(false),
  play: () => startRun(true),
  stop: stopRun,
  help: helpContext,
};

// F1: the help page at the selected word, or at the word the caret stands in
// or just behind (a keyword's underscores included); nothing off a word.
function helpContext() {
  const { state } = editor;
  const range = state.selection.main;
  let word = state.sliceDoc(range.from, range.to);
  if (range.empty) {
    const line = state.doc.lineAt(range.head);
    const inWord = (c) => /[\p{L}\p{N}_]/u.test(c);
    let from = range.head - line.from;
    let to = from;
    while (from > 0 && inWord(line.text[from - 1])) --from;
    while (to < line.text.length && inWord(line.text[to])) ++to;
    if (from === to) return;
    word = line.text.slice(from, to);
  }
  window.open(`help/gmkhelp.htm#${encodeURIComponent(word)}`, '_blank', 'noopener');
}
const keys = { F1: 'help', F4: 'parse', F5: 'play', F7: 'stop' };

// The theme: the system's until the toggle picks one, which is kept.
const STORE_THEME = 'glimmark.theme';
const systemDark = window.matchMedia('(prefers-color-scheme: dark)');
function applyTheme() {
  let chosen = null;
  try {
    chosen = localStorage.getItem(STORE_THEME);
  } catch {
    chosen = null;
  }
  const theme = chosen === 'dark' || chosen === 'light' ? chosen : systemDark.matches ? 'dark' : 'light';
  document.documentElement.dataset.theme = theme;
}
applyTheme();
systemDark.addEventListener('change', applyTheme);
ui.theme.addEventListener('click', () => {
  const next = document.documentElement.dataset.theme === 'dark' ? 'light' : 'dark';
  try {
    localStorage.setItem(STORE_THEME, next);
  } catch {
    // Not kept: this visit only.
  }
  document.documentElement.dataset.theme = next;
});

function showKeys() {
  if (!ui.keysBox.open) ui.keysBox.showModal();
}
ui.keys.addEventListener('click', showKeys);
ui.live.addEventListener('change', () => {
  if (ui.live.checked) scheduleLivePreview();
});

window.addEventListener(
  'keydown',
  (e) => {
    // "?" outside the editor (where it is a character of the text).
    if (e.key === '?' && !e.ctrlKey && !e.altKey && !e.metaKey && !editor.hasFocus) {
      e.preventDefault();
      showKeys();
      return;
    }
    const command = keys[e.key];
    if (!command || e.ctrlKey || e.altKey || e.metaKey || e.shiftKey) return;
    e.preventDefault();
    e.stopPropagation();
    if (ui.box.open && command !== 'stop') return;
    commands[command]();
  },
  true,
);

ui.parse.addEventListener('click', commands.parse);
ui.play.addEventListener('click', commands.play);
ui.stop.addEventListener('click', commands.stop);
ui.savePicture.addEventListener('click', savePicture);
ui.downloadScene.addEventListener('click', downloadScene);
ui.share.addEventListener('click', shareLink);
ui.open.addEventListener('click', () => ui.openFile.click());
ui.openFile.addEventListener('change', () => {
  // The list empties with the input, before the files are read.
  takeFiles([...ui.openFile.files]);
  ui.openFile.value = '';
});
ui.examples.addEventListener('change', async () => {
  const name = ui.examples.value;
  ui.examples.selectedIndex = 0;
  if (!name) return;
  if (changedSinceLoad() && !confirm(`Replace the editor's text with ${name}?`)) return;
  keepLink = false;
  openExample(name);
});
document.addEventListener('dragover', (e) => e.preventDefault());
document.addEventListener('drop', (e) => {
  e.preventDefault();
  if (e.dataTransfer?.files?.length) takeFiles([...e.dataTransfer.files]);
});
// Another link in the same tab asks, as Open does, before it replaces text.
window.addEventListener('hashchange', (e) => {
  const hash = new URL(e.newURL).hash;
  if (hash === '') return;
  readFragment(changedSinceLoad() ? editorText() : '', "Replace the editor's text with the scene of this link?", hash);
});

// ---- start -----------------------------------------------------------------------

const examplesLoaded = loadExamples().catch((e) => showStatus(`The examples could not be loaded: ${e.message}`));
// A link's scene, after a question when the text kept from the last visit
// differs; else that text; else the first example.
const sceneLoaded = (async () => {
  const kept = savedText;
  if (await readFragment(kept, 'Open the scene of this link instead of the text kept from your last visit?')) return;
  if (kept !== null && kept.trim() !== '') {
    let name = 'scene.gmk';
    try {
      name = localStorage.getItem(STORE_NAME) || name;
    } catch {
      // The name is only a default for saved files.
    }
    if ((await setEditorTextInTurns(piecesOfText(kept), name)) && !keepLink) writeFragment();
  } else {
    openExample(DEFAULT_EXAMPLE);
  }
})();
Promise.all([examplesLoaded, sceneLoaded, tracers.ready]).then(([, , ready]) => {
  document.body.dataset.worker = ready.version ?? '';
  document.body.dataset.workers = String(tracers.count);
  document.body.dataset.ready = 'true';
  if (ui.status.textContent === '') showStatus('Press F5 (Play) to trace the scene.');
});
editor.focus();
// What follows this mark is the page at work, not its script loading.
performance.mark('playground-started');

// For the browser tests and the console.
window.playground = {
  editor,
  editorText,
  setEditorText,
  picture,
  previewShown,
  get workerMemory() {
    return workerMemory;
  },
  // The last run's work in each worker (milliseconds parsing and tracing,
  // chunks and rows), and how many times each row of its first frame came.
  get lastRun() {
    return {
      work: run.work,
      rowCounts: run.rowCounts ? Array.from(run.rowCounts) : [],
      workerStartMs: tracers.slots.map((slot) => slot.startMs),
    };
  },
  writeFragment,
  // The scene of a fragment: {text}, {none: true} or {why}.
  async linkScene(fragment) {
    const found = await linkScene(fragment);
    return found.bytes ? { text: new TextDecoder().decode(found.bytes) } : found;
  },
  // The picture's RGBA bytes, as Save Picture writes them.
  async picturePixels() {
    const { width, height, data } = await picture.pixels();
    return { width, height, rgba: Array.from(data) };
  },
  maxCharacters: MAX_SCENE_CHARACTERS,
};
