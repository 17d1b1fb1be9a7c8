// What the playground page's main thread does while it traces a big picture:
// a Chromium trace (puppeteer's page.tracing) of one Play, and its longest
// main-thread tasks, each with its wall-clock time and the thread's own time
// (the rest is waiting for a core on a loaded machine), and what in them
// took the thread's time.
//   node bench/web-trace.mjs [--size 16384x8000] [--scene examples/showcase.gmk] [--site build-web/site]
//                            [--top 5] [--out trace.json]
//   node bench/web-trace.mjs --read trace.json     (a trace made before)
// Needs `make web web-site`; web/node_modules (npm ci).
import { readFileSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { createRequire } from 'node:module';
import { mkdtempSync } from 'node:fs';
import { tmpdir } from 'node:os';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '..');
const require = createRequire(join(root, 'web', 'package.json'));
const puppeteer = require('puppeteer-core');
const { serve } = await import(join(root, 'web', 'test', 'serve.mjs'));
const { launchChromium, openPlayground } = await import(join(root, 'web', 'test', 'chromium.mjs'));

const args = process.argv.slice(2);
const option = (name, fallback) => (args.includes(name) ? args[args.indexOf(name) + 1] : fallback);
const [width, height] = option('--size', '16384x8000').split('x').map(Number);
const site = resolve(option('--site', join(root, 'build-web', 'site')));
const top = Number(option('--top', '5'));
const scene = option('--scene', '');
const out = option('--out', join(mkdtempSync(join(tmpdir(), 'glimmark-trace-')), 'trace.json'));

const read = option('--read', '');
if (!read) await traceOnePlay();

async function traceOnePlay() {
const server = await serve(site);
const browser = await launchChromium(puppeteer);
try {
  const page = await openPlayground(browser, server.url);
  // A light and no shape (the page's side at its heaviest), or a scene at this size.
  const text = scene
    ? readFileSync(scene, 'utf8').replace(/WIDTH \d+ HEIGHT \d+/, `WIDTH ${width} HEIGHT ${height}`)
    : `TRACER WIDTH ${width} HEIGHT ${height} END_TRACER SCENE LIGHT END_LIGHT END_SCENE`;
  await page.evaluate((t) => window.playground.setEditorText(t), text);
  await new Promise((r) => setTimeout(r, 500));
  await page.tracing.start({
    path: out,
    categories: ['toplevel', 'devtools.timeline', 'disabled-by-default-devtools.timeline', 'blink', 'cc', 'gpu'],
  });
  // The trace's mark of Play: tasks before it are not counted.
  await page.evaluate(() => console.timeStamp('glimmark-play'));
  const started = performance.now();
  await page.keyboard.press('F5');
  await page.waitForFunction(() => !document.body.classList.contains('running'), {
    timeout: 0,
    polling: 'mutation',
  });
  const seconds = (performance.now() - started) / 1000;
  await page.tracing.stop();
  const status = await page.$eval('#run-status', (e) => e.textContent);
  console.log(`${width}x${height}: "${status}" after ${seconds.toFixed(1)} s`);
} finally {
  await browser.close();
  server.close();
}
}

const events = JSON.parse(readFileSync(read || out, 'utf8')).traceEvents;
const names = new Map();
for (const e of events)
  if (e.ph === 'M' && e.name === 'thread_name') names.set(`${e.pid}:${e.tid}`, e.args.name);
// The page's own main thread: the one that marked Play.
const mark = events.find((e) => e.name === 'TimeStamp' && e.args?.data?.message === 'glimmark-play');
const from = mark ? mark.ts : 0;
const mains = new Set(
  [...names].filter(([k, n]) => n === 'CrRendererMain' && (!mark || k === `${mark.pid}:${mark.tid}`)).map(([k]) => k),
);
const onMain = events.filter((e) => e.ph === 'X' && e.ts >= from && mains.has(`${e.pid}:${e.tid}`));
const tasks = onMain.filter((e) => e.name === 'ThreadControllerImpl::RunTask');
tasks.sort((a, b) => b.dur - a.dur);
console.log(`main-thread tasks: ${tasks.length}, over 50 ms: ${tasks.filter((t) => t.dur > 50000).length}`);
for (const t of tasks.slice(0, top)) {
  const inside = onMain.filter(
    (e) => e !== t && e.tid === t.tid && e.pid === t.pid && e.ts >= t.ts && e.ts + e.dur <= t.ts + t.dur,
  );
  const by = new Map();
  for (const e of inside) by.set(e.name, (by.get(e.name) ?? 0) + (e.tdur ?? 0));
  const what = [...by]
    .sort((a, b) => b[1] - a[1])
    .slice(0, 4)
    .map(([n, d]) => `${n} ${(d / 1000).toFixed(1)}`)
    .join(', ');
  console.log(
    `  ${(t.dur / 1000).toFixed(1)} ms wall, ${((t.tdur ?? 0) / 1000).toFixed(1)} ms thread time: ${what}`,
  );
}
const busiest = [...tasks].sort((a, b) => (b.tdur ?? 0) - (a.tdur ?? 0))[0];
if (busiest)
  console.log(
    `most thread time in one task: ${((busiest.tdur ?? 0) / 1000).toFixed(1)} ms ` +
      `(${(busiest.dur / 1000).toFixed(1)} ms wall)`,
  );
const total = tasks.reduce((sum, t) => sum + (t.tdur ?? 0), 0);
const messages = onMain
  .filter((e) => e.name === 'HandlePostMessage')
  .reduce((sum, e) => sum + (e.tdur ?? 0), 0);
const wall = tasks.length ? (Math.max(...tasks.map((t) => t.ts + t.dur)) - from) / 1000 : 0;
console.log(
  `main thread's own time over the run: ${(total / 1000).toFixed(0)} ms in ${(wall / 1000).toFixed(1)} s, ` +
    `${(messages / 1000).toFixed(0)} ms of it for the workers' messages`,
);
