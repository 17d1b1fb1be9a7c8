// Runs the page's worker (web/src/worker.js with the module in SITE) under
// node, in a stand-in for a browser's worker scope, and checks the protocol:
// the module is ready, a parse error gives the studio's message and the
// word's place in the editor's text, a parse without error says so, played
// scenes give the command's pictures byte for byte, and Stop ends a frame.
//   node web/test/worker-node-test.cjs SITE EXAMPLES CLI_PICTURES
// CLI_PICTURES holds first_sphere.ppm and textures.ppm from `glimmark render`.
'use strict';
const fs = require('fs');
const path = require('path');
const vm = require('vm');
const { pathToFileURL, fileURLToPath } = require('url');

const [site, examples, pictures] = process.argv.slice(2).map((p) => path.resolve(p));
let failures = 0;
function check(ok, what) {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  if (!ok) failures += 1;
}

// The worker scope: importScripts, postMessage to the page and fetch of the
// module's files. Messages go both ways as separate tasks, as between a page
// and its worker.
let onPageMessage = () => {};
globalThis.self = globalThis;
self.location = { href: pathToFileURL(path.join(site, 'worker.js')).href };
self.importScripts = (name) =>
  vm.runInThisContext(fs.readFileSync(path.join(site, name), 'utf8'), { filename: name });
const fromWorker = new MessageChannel();
fromWorker.port2.onmessage = (event) => onPageMessage(event.data);
self.postMessage = (message, transfer) => fromWorker.port1.postMessage(message, transfer);
globalThis.fetch = async (url) =>
  new Response(fs.readFileSync(fileURLToPath(url)), {
    headers: { 'Content-Type': 'application/wasm' },
  });
// The page's side of the worker's port.
const toWorker = new MessageChannel();
toWorker.port2.onmessage = (event) => self.onmessage(event);
function send(command) {
  toWorker.port1.postMessage(command);
}
// The next messages up to one of type `last`.
function until(last) {
  return new Promise((resolve) => {
    const seen = [];
    onPageMessage = (message) => {
      seen.push(message);
      if (message.type === last || message.type === 'fatal') resolve(seen);
    };
  });
}

// The picture of a run's first frame from its rows, as PPM pixel bytes.
function firstFrame(messages) {
  const frame = messages.find((m) => m.type === 'frame');
  const rgb = Buffer.alloc(frame.width * frame.height * 3);
  let rows = 0;
  for (const m of messages) {
    if (m.type === 'frameDone') break;
    if (m.type !== 'rows') continue;
    rows += m.y1 - m.y0;
    for (let i = 0; i < (m.y1 - m.y0) * m.width; ++i)
      m.pixels.slice(i * 4, i * 4 + 3).forEach((v, c) => (rgb[(m.y0 * m.width + i) * 3 + c] = v));
  }
  return { frame, rgb, rows };
}
function ppmPixels(file) {
  const bytes = fs.readFileSync(file);
  let newlines = 0;
  let i = 0;
  while (newlines < 3) if (bytes[i++] === 0x0a) newlines += 1;
  return bytes.subarray(i);
}
const scene = (name) => fs.readFileSync(path.join(examples, name), 'utf8');

async function main() {
  const ready = until('ready');
  require(path.join(site, 'worker.js'));
  const [hello] = await ready;
  check(hello.type === 'ready' && /^\d+\.\d+/.test(hello.version), `ready, version ${hello.version}`);

  // A word after a character outside the BMP: UTF-16 offsets count it twice.
  const text = '; caf\u00e9 \u{1F600}\nSCENE\n  SPHERE RADUIS 1 END_SPHERE\nEND_SCENE\n';
  let seen = until('error');
  send({ cmd: 'parse', text });
  const error = (await seen).pop();
  const word = text.slice(error.from, error.to);
  check(error.caption === 'Parse Error', `error caption "${error.caption}"`);
  check(
    error.message.endsWith(`\n\nLine ${error.line}, Col ${error.col}`) && error.line === 3,
    `error message ${JSON.stringify(error.message)}`
  );
  check(word.length > 0 && error.message.includes(`found: ${word}`), `selected word "${word}"`);
  check(
    text.split('\n')[error.line - 1].slice(error.col - 1).startsWith(word),
    `line ${error.line}, col ${error.col} is the word's first character`
  );

  // The same text as UTF-8 byte arrays, cut inside the four bytes of its
  // emoji and inside the word: the error stands where it stood.
  const utf8 = Buffer.from(text);
  const cuts = [0, utf8.indexOf(0xf0) + 2, utf8.indexOf('RADUIS') + 3, utf8.length];
  seen = until('error');
  send({ cmd: 'parse', bytes: cuts.slice(1).map((end, i) => new Uint8Array(utf8.subarray(cuts[i], end))) });
  const fromBytes = (await seen).pop();
  check(
    ['from', 'to', 'line', 'col', 'message'].every((key) => fromBytes[key] === error[key]),
    `the text as bytes in ${cuts.length - 1} parts: the error at ${fromBytes.from}..${fromBytes.to}`
  );

  seen = until('parsed');
  send({ cmd: 'parse', text: scene('first_sphere.gmk') });
  const parsed = (await seen).pop();
  check(parsed.message === 'Parsed OK!' && parsed.caption === 'Parse', 'F4 on a good scene');

  send({ cmd: 'files', files: { 'tiles.png': fs.readFileSync(path.join(examples, 'tiles.png')) } });
  for (const name of ['first_sphere', 'textures']) {
    seen = until('done');
    // The second as bytes, as the page sends a long text.
    if (name === 'textures') send({ cmd: 'play', bytes: [new Uint8Array(Buffer.from(scene(`${name}.gmk`)))] });
    else send({ cmd: 'play', text: scene(`${name}.gmk`) });
    const run = await seen;
    const { frame, rgb, rows } = firstFrame(run);
    const done = run[run.length - 1];
    const same = rgb.equals(ppmPixels(path.join(pictures, `${name}.ppm`)));
    check(
      done.type === 'done' && rows === frame.height && same && /^Done in \d+\.\d\d s$/.test(done.status),
      `${name}: ${frame.width}x${frame.height}, ${rows} rows, ${same ? 'same' : 'NOT the same'}` +
        ` picture as the command; "${done.status}"`
    );
  }

  // Stop as soon as the first rows arrive. The worker takes it between two
  // rows; node serves the worker's own port before the page's, so here that
  // is at its next timer (a browser takes it at the next row). The rows
  // traced while the messages travel count too.
  seen = new Promise((resolve) => {
    const all = [];
    onPageMessage = (message) => {
      all.push(message);
      if (message.type === 'rows' && all.filter((m) => m.type === 'rows').length === 1)
        send({ cmd: 'stop' });
      if (message.type === 'stopped' || message.type === 'done') resolve(all);
    };
  });
  send({ cmd: 'play', text: scene('showcase.gmk') });
  const stopped = await seen;
  const { frame, rows } = firstFrame(stopped);
  const firstRows = stopped.find((m) => m.type === 'rows').y1;
  const end = stopped[stopped.length - 1];
  check(
    end.type === 'stopped' && end.status === 'Stopped' && rows < frame.height,
    `stop: ${rows} of ${frame.height} rows traced, ${firstRows} when Stop was sent; "${end.status}"`
  );

  console.log(failures === 0 ? 'worker: all checks passed' : `worker: ${failures} checks failed`);
  process.exit(failures === 0 ? 0 : 1);
}
main().catch((e) => {
  console.error(e);
  process.exit(1);
});
