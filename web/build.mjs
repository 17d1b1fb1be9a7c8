// Builds the playground's page into a folder of static files (build-web/site/
// by default): the bundled page, its style, the examples and the help page.
// `make web` puts the tracer's worker and its WebAssembly module beside them.
//   node build.mjs [--out DIR] [--stub-worker]
// --stub-worker: a stand-in worker that draws a gradient, for working on the
// page without the WebAssembly build (in build-web/stub-site/ by default).
import { build } from 'esbuild';
import { copyFileSync, existsSync, mkdirSync, readdirSync, readFileSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { gzipSync } from 'node:zlib';
import { vocabularyModule } from './tools/vocabulary.mjs';

const web = dirname(fileURLToPath(import.meta.url));
const root = resolve(web, '..');
const args = process.argv.slice(2);
const option = (name, fallback) => {
  const i = args.indexOf(name);
  return i >= 0 ? resolve(args[i + 1]) : fallback;
};
const stub = args.includes('--stub-worker');
const out = option('--out', join(root, 'build-web', stub ? 'stub-site' : 'site'));

// The worker and its module stay; the page's own files are made anew.
for (const name of ['examples', 'help', 'main.js', 'painter.js', 'link-worker.js', 'index.html', 'style.css'])
  rmSync(join(out, name), { recursive: true, force: true });
mkdirSync(join(out, 'examples'), { recursive: true });
mkdirSync(join(out, 'help'), { recursive: true });

// The highlighter's words, from the tables the scanner and the studio read.
const generated = join(root, 'build-web', 'gen', 'vocabulary.js');
mkdirSync(dirname(generated), { recursive: true });
writeFileSync(generated, vocabularyModule(readFileSync(join(root, 'language', 'vocabulary.h'), 'utf8')));

copyFileSync(join(web, 'index.html'), join(out, 'index.html'));
copyFileSync(join(web, 'style.css'), join(out, 'style.css'));
copyFileSync(join(root, 'docs', 'gmkhelp.htm'), join(out, 'help', 'gmkhelp.htm'));

// Every scene of examples/ in the menu; every other file there (textures)
// goes to the tracer's folder beside them. They are in the bundle, so that
// the page needs no more requests for them; the folder is copied too, for
// links to the files themselves.
const exampleNames = readdirSync(join(root, 'examples'))
  .filter((n) => statSync(join(root, 'examples', n)).isFile())
  .sort();
const exampleFiles = {};
for (const name of exampleNames) {
  const bytes = readFileSync(join(root, 'examples', name));
  copyFileSync(join(root, 'examples', name), join(out, 'examples', name));
  exampleFiles[name] = name.endsWith('.gmk') ? bytes.toString('utf8') : { base64: bytes.toString('base64') };
}
writeFileSync(
  join(root, 'build-web', 'gen', 'examples.js'),
  '// Made by web/build.mjs from examples/; do not edit.\n' +
    `export const exampleFiles = ${JSON.stringify(exampleFiles, null, 1)};\n`,
);

await build({
  entryPoints: [join(web, 'src', 'main.js')],
  outfile: join(out, 'main.js'),
  bundle: true,
  minify: true,
  format: 'esm',
  target: ['chrome103', 'firefox113', 'safari16.4'],
  alias: { 'glimmark-vocabulary': generated, 'glimmark-examples': join(root, 'build-web', 'gen', 'examples.js') },
  legalComments: 'none',
  logLevel: 'warning',
});
// The drawing worker and the link worker, classic workers beside the page.
for (const name of ['painter.js', 'link-worker.js'])
  await build({
    entryPoints: [join(web, 'src', name)],
    outfile: join(out, name),
    bundle: true,
    minify: true,
    format: 'iife',
    target: ['chrome103', 'firefox113', 'safari16.4'],
    legalComments: 'none',
    logLevel: 'warning',
  });
// Hosts that read a _headers file (Netlify, Cloudflare Pages) make the page
// cross-origin isolated, so that the tracer may use threads, and send the
// page's Content-Security-Policy (index.html carries it too), which the
// workers then have as well.
const policy = /http-equiv="Content-Security-Policy" content="([^"]*)"/.exec(
  readFileSync(join(web, 'index.html'), 'utf8'),
)[1];
writeFileSync(
  join(out, '_headers'),
  '/*\n  Cross-Origin-Opener-Policy: same-origin\n  Cross-Origin-Embedder-Policy: require-corp\n' +
    `  Content-Security-Policy: ${policy}\n`,
);

if (stub) copyFileSync(join(web, 'test', 'stub-worker.js'), join(out, 'worker.js'));
else if (!existsSync(join(out, 'worker.js')))
  console.warn(`No tracer in ${out} yet: \`make web\` builds it.`);

// What a visitor downloads, compressed as servers send it.
let raw = 0;
let packed = 0;
const walk = (dir) => {
  for (const name of readdirSync(dir)) {
    const path = join(dir, name);
    if (statSync(path).isDirectory()) walk(path);
    else {
      const bytes = readFileSync(path);
      raw += bytes.length;
      packed += gzipSync(bytes, { level: 9 }).length;
    }
  }
};
walk(out);
console.log(`${out}: ${(raw / 1024).toFixed(0)} KiB, ${(packed / 1024).toFixed(0)} KiB gzip-compressed`);
