// The playground page: the scene editor, Parse (F4), Play (F5) and Stop (F7)
// as in the studio, the picture traced by the worker, the examples, sharing
// by link, Save Picture and Download Scene.
import { EditorState, EditorSelection } from '@codemirror/state';
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
import { sceneHighlighting } from './highlight.js';
import { Picture } from './picture.js';
import { sceneFromFragment, sceneToFragment } from './share.js';
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
};

const DEFAULT_EXAMPLE = 'first_sphere.gmk';
// The worker compiles the tracer while the page loads (index.html starts it).
let worker = null;
let workerReady = null;
startWorker();
let sceneName = 'scene.gmk';
let loadedText = '';

// ---- the editor -------------------------------------------------------------

function placeText(state, position) {
  const line = state.doc.lineAt(position);
  return `Line ${line.number}, Col ${position - line.from + 1}`;
}

let fragmentTimer = 0;
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
          clearTimeout(fragmentTimer);
          fragmentTimer = setTimeout(writeFragment, 400);
        }
      }),
    ],
  }),
});

function editorText() {
  return editor.state.doc.toString();
}

function setEditorText(text, name) {
  // The editor keeps "\n" line ends; a file's "\r\n" become "\n".
  const clean = text.replace(/\r\n?/g, '\n');
  editor.dispatch({
    changes: { from: 0, to: editor.state.doc.length, insert: clean },
    selection: EditorSelection.cursor(0),
    scrollIntoView: true,
  });
  loadedText = clean;
  if (name) sceneName = name;
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

// ---- the worker ---------------------------------------------------------------

const picture = new Picture(ui.canvas);
const run = { active: false, build: false, traced: false, started: 0, frame: 0, frames: 1, rows: 0, height: 0 };
// Every file given to the tracer, for a worker started anew.
const tracerFiles = {};

function startWorker() {
  // index.html's worker, with what it said before this script was there.
  const early = window.glimmarkWorker ? window.glimmarkEarly : [];
  worker = window.glimmarkWorker ?? new Worker('worker.js');
  window.glimmarkWorker = null;
  worker.onmessage = null;
  let ready;
  workerReady = new Promise((resolve) => (ready = resolve));
  const receive = (m) => {
    if (m && m.type === 'ready') ready(m);
    else onWorkerMessage(m);
  };
  worker.addEventListener('message', (e) => receive(e.data));
  worker.addEventListener('error', (e) => {
    showStatus(`The tracer could not start: ${e.message || 'worker error'}`);
    endRun();
  });
  // After this script has run: the handler needs the page's state.
  queueMicrotask(() => early.forEach(receive));
}

async function giveFiles(files) {
  Object.assign(tracerFiles, files);
  await workerReady;
  worker.postMessage({ cmd: 'files', files });
}

// The tracer's module has ended (out of memory): a new worker takes over.
function restartWorker(message) {
  worker.terminate();
  picture.reset();
  endRun();
  showStatus('');
  messageBox(message, 'Glimmark Error');
  startWorker();
  giveFiles(tracerFiles);
}

const doneText = () => `Done in ${((performance.now() - run.started) / 1000).toFixed(2)} s`;

let statusFrame = 0;
function refreshRunStatus() {
  statusFrame = 0;
  if (!run.active || !run.build || run.height === 0) return;
  const total = Math.max(1, run.height);
  const done = Math.min(Math.max(run.rows, 0), total);
  const rows = `Tracing row ${done} of ${total}, ${Math.floor((done * 100) / total)} %`;
  showStatus(run.frames <= 1 ? rows : `Frame ${run.frame + 1} of ${run.frames} \u00B7 ${rows}`);
}
function scheduleRunStatus() {
  if (!statusFrame) statusFrame = requestAnimationFrame(refreshRunStatus);
}

function onWorkerMessage(m) {
  if (!m || !m.type) return;
  switch (m.type) {
    case 'parsed':
      if (!run.build) {
        endRun();
        showStatus(doneText());
        messageBox(m.message, m.caption);
      }
      break;
    case 'error':
      // The studio's parse error: the box with the message and the word's
      // line and column, the same on the status line, the word selected.
      endRun();
      showStatus(m.status);
      messageBox(m.message, m.caption);
      selectText(m.from, m.to);
      break;
    case 'message':
      // A box ends a parse; a trace goes on, or says it is over.
      if (!run.build) endRun();
      messageBox(m.message, m.caption);
      break;
    case 'status':
      flashStatus(m.message, 4000);
      break;
    case 'frame':
      run.frame = m.index;
      run.frames = m.count;
      run.rows = 0;
      run.height = m.height;
      picture.startFrame(m);
      scheduleRunStatus();
      break;
    case 'rows':
      picture.rows(m);
      run.rows = m.y1;
      scheduleRunStatus();
      break;
    case 'frameDone':
      picture.frameDone();
      break;
    case 'done':
      if (!run.active) break;
      if (m.failed) {
        // A parse error keeps its line; another error says what it was.
        endRun();
        if (m.status) showStatus(m.status);
        break;
      }
      run.traced = true;
      picture.whenAllShown(() => {
        if (!run.active) return;
        endRun();
        showStatus(m.status || doneText());
      });
      break;
    case 'stopped':
      picture.reset();
      if (run.active) {
        endRun();
        showStatus(m.status || 'Stopped');
      }
      break;
    case 'fatal':
      restartWorker(m.message);
      break;
  }
}

function setRunning(active, build) {
  run.active = active;
  run.build = build;
  ui.play.disabled = active && build;
  ui.parse.disabled = false;
  document.body.classList.toggle('running', active);
}

function endRun() {
  setRunning(false, false);
}

async function startRun(build) {
  if (run.active) {
    flashStatus('A trace is running; Stop (F7) ends it.', 4000);
    return;
  }
  setRunning(true, build);
  run.started = performance.now();
  run.rows = 0;
  run.height = 0;
  run.frames = 1;
  run.frame = 0;
  run.traced = false;
  showStatus('Parsing\u2026');
  picture.reset();
  await workerReady;
  worker.postMessage({ cmd: build ? 'play' : 'parse', text: editorText() });
}

function stopRun() {
  if (!run.active) return;
  if (run.traced) {
    // Every frame is traced; only their showing is left.
    picture.reset();
    endRun();
    showStatus('Stopped');
    return;
  }
  worker.postMessage({ cmd: 'stop' });
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
  await giveFiles(files);
}

function openExample(name) {
  setEditorText(exampleFiles[name], name);
  document.body.dataset.scene = name;
  writeFragment();
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

const baseName = () => sceneName.replace(/\.[^.]*$/, '') || 'scene';

async function savePicture() {
  download(await picture.pngBlob(), `${baseName()}.png`);
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
  await giveFiles(files);
  if (scene) {
    if (changedSinceLoad() && !confirm(`Replace the editor's text with ${scene.file.name}?`)) return;
    setEditorText(sceneText(scene.bytes), scene.file.name);
    writeFragment();
  } else {
    flashStatus(`Added ${Object.keys(files).join(', ')} for INCLUDE FILE and TEXTURE_FILE.`, 4000);
  }
}

// ---- the link ------------------------------------------------------------------

async function writeFragment() {
  clearTimeout(fragmentTimer);
  const fragment = await sceneToFragment(editorText());
  window.history.replaceState(null, '', `#${fragment}`);
  return location.href;
}

async function readFragment() {
  try {
    const text = await sceneFromFragment(location.hash);
    if (text === null) return false;
    setEditorText(text, 'scene.gmk');
    return true;
  } catch {
    showStatus('The scene in this link could not be read.');
    return false;
  }
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

window.addEventListener(
  'keydown',
  (e) => {
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
  await openExample(name);
});
document.addEventListener('dragover', (e) => e.preventDefault());
document.addEventListener('drop', (e) => {
  e.preventDefault();
  if (e.dataTransfer?.files?.length) takeFiles([...e.dataTransfer.files]);
});
window.addEventListener('hashchange', () => {
  if (decodeURIComponent(location.hash) !== '') readFragment();
});

// ---- start -----------------------------------------------------------------------

const examplesLoaded = loadExamples().catch((e) => showStatus(`The examples could not be loaded: ${e.message}`));
const sceneLoaded = (async () => {
  if (!(await readFragment())) await openExample(DEFAULT_EXAMPLE);
})();
Promise.all([examplesLoaded, sceneLoaded, workerReady]).then(([, , ready]) => {
  document.body.dataset.worker = ready.version ?? '';
  document.body.dataset.ready = 'true';
});
editor.focus();

// For the browser tests and the console.
window.playground = {
  editor,
  editorText,
  setEditorText,
  picture,
  writeFragment,
};
