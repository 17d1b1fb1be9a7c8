// How long the page takes to trace a scene, against the command line on one
// thread (the page's tracer runs in one worker): the built site in headless
// chromium, the scene typed in at the size asked for, Play, the run's time.
//   node trace-time.mjs SITE CLI SCENE WIDTH HEIGHT [RUNS]
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import puppeteer from 'puppeteer-core';
import { serve } from '../test/serve.mjs';

const [site, cli, scene, width, height, runs = '3'] = process.argv.slice(2);
if (!height) {
  console.error('usage: node trace-time.mjs SITE CLI SCENE WIDTH HEIGHT [RUNS]');
  process.exit(2);
}
const text = readFileSync(scene, 'utf8').replace(
  /WIDTH\s+\d+\s+HEIGHT\s+\d+/i,
  `WIDTH ${width} HEIGHT ${height}`,
);
const work = mkdtempSync(join(tmpdir(), 'glimmark-time-'));
const sized = join(work, 'scene.gmk');
writeFileSync(sized, text);

const best = (xs) => Math.min(...xs).toFixed(2);
const cliTimes = [];
for (let i = 0; i < Number(runs); ++i) {
  const started = process.hrtime.bigint();
  execFileSync(cli, ['render', sized, '-o', join(work, 'cli.png'), '-q', '-f', '-j', '1'], {
    cwd: join(scene, '..'),
    stdio: ['ignore', 'ignore', 'inherit'],
  });
  cliTimes.push(Number(process.hrtime.bigint() - started) / 1e9);
}

const server = await serve(site);
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
  headless: true,
  args: ['--no-sandbox', '--disable-dev-shm-usage'],
});
const pageTimes = [];
try {
  const page = await browser.newPage();
  await page.goto(server.url);
  await page.waitForSelector('body[data-ready="true"]');
  await page.evaluate((t) => window.playground.setEditorText(t, 'scene.gmk'), text);
  for (let i = 0; i < Number(runs); ++i) {
    await page.keyboard.press('F5');
    await page.waitForFunction(() => !document.body.classList.contains('running'), { timeout: 600000 });
    const status = await page.$eval('#run-status', (e) => e.textContent);
    const m = /^Done in ([\d.]+) s$/.exec(status);
    if (!m) throw new Error(`the page said: ${status}`);
    pageTimes.push(Number(m[1]));
  }
} finally {
  await browser.close();
  server.close();
}
console.log(`${scene} at ${width}x${height}, best of ${runs}:`);
console.log(`  command line, one thread: ${best(cliTimes)} s (${cliTimes.map((t) => t.toFixed(2)).join(', ')})`);
console.log(`  page (one worker):        ${best(pageTimes)} s (${pageTimes.map((t) => t.toFixed(2)).join(', ')})`);
console.log(`  ratio: ${(Math.min(...pageTimes) / Math.min(...cliTimes)).toFixed(2)}`);
