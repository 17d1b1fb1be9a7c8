// The VS Code extension's TextMate grammar, tokenized by the engine VS Code
// itself uses (vscode-textmate on vscode-oniguruma), against the words the
// studio colours, as `glimmark lsp` reports them in its semantic tokens:
// every character of a keyword, a block's word, an operator word, a number,
// a string or a comment has the matching scope, and no other character has a
// scope of its own. Each scene is checked as written and with its letters
// in lower case.
//   node grammar_test.mjs <grammar.json> <glimmark> <extension folder> <version> <scene.gmk>...
// Exits 77, saying why, when the extension's npm packages are not installed
// (scripts/install-deps.sh installs them).
import { spawn } from 'node:child_process';
import { existsSync, readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { basename, join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const [grammarPath, glimmark, extension, version, ...scenes] = process.argv.slice(2);
if (scenes.length === 0) {
  console.error('usage: node grammar_test.mjs <grammar.json> <glimmark> <extension folder> <version> <scene.gmk>...');
  process.exit(2);
}
if (!existsSync(join(extension, 'node_modules', 'vscode-textmate'))) {
  console.error(`skipped: no vscode-textmate in ${extension}/node_modules (scripts/install-deps.sh runs npm ci there)`);
  process.exit(process.env.CI ? 1 : 77);
}
const require = createRequire(resolve(extension, 'package.json'));
const textmate = require('vscode-textmate');
const oniguruma = require('vscode-oniguruma');

const failures = [];
const fail = (text) => failures.length < 40 && failures.push(text);

// The extension packages the program's version.
const manifest = JSON.parse(readFileSync(join(extension, 'package.json'), 'utf8'));
if (manifest.version !== version) fail(`editors/vscode/package.json has version ${manifest.version}, the program ${version}`);

// The scope each semantic token type stands for; "variable" (a name where
// it is defined) the studio leaves plain, as the grammar may or may not.
const scopeOf = {
  keyword: 'keyword.control.glimmark',
  property: 'support.type.property-name.glimmark',
  operator: 'keyword.operator.word.glimmark',
  number: 'constant.numeric.glimmark',
  string: 'string.quoted.double.glimmark',
  comment: 'comment.',
  variable: null,
};

const wasm = readFileSync(require.resolve('vscode-oniguruma/release/onig.wasm'));
await oniguruma.loadWASM(wasm.buffer.slice(wasm.byteOffset, wasm.byteOffset + wasm.byteLength));
const registry = new textmate.Registry({
  onigLib: Promise.resolve({
    createOnigScanner: (patterns) => new oniguruma.OnigScanner(patterns),
    createOnigString: (text) => new oniguruma.OnigString(text),
  }),
  loadGrammar: async (scope) =>
    scope === 'source.glimmark' ? textmate.parseRawGrammar(readFileSync(grammarPath, 'utf8'), grammarPath) : null,
});
const grammar = await registry.loadGrammar('source.glimmark');

// `glimmark lsp` through the client library's own message connection.
const child = spawn(glimmark, ['lsp'], { stdio: ['pipe', 'pipe', 'inherit'] });
const exited = new Promise((resolve) => child.on('exit', resolve));
const rpc = require('vscode-jsonrpc/node');
const server = rpc.createMessageConnection(new rpc.StreamMessageReader(child.stdout), new rpc.StreamMessageWriter(child.stdin));
server.listen();
server.notify = server.sendNotification;
server.request = server.sendRequest;
const initialized = await server.request('initialize', { processId: process.pid, capabilities: {} });
const legend = initialized.capabilities.semanticTokensProvider.legend.tokenTypes;
server.notify('initialized', {});

let checked = 0;
for (const scene of scenes) {
  const written = readFileSync(scene, 'utf8');
  for (const [how, text] of [['', written], [' in lower case', written.replace(/[A-Z]+/g, (s) => s.toLowerCase())]]) {
    const uri = pathToFileURL(scene).href + (how ? '.lower.gmk' : '');
    server.notify('textDocument/didOpen', { textDocument: { uri, languageId: 'glimmark', version: 1, text } });
    const answer = await server.request('textDocument/semanticTokens/full', { textDocument: { uri } });
    server.notify('textDocument/didClose', { textDocument: { uri } });
    const lines = text.split(/\r?\n/);
    // What each character should be: a scope, null for plain, undefined
    // for either (a name where it is defined).
    const wanted = lines.map((line) => new Array(line.length).fill(null));
    const data = answer.data;
    let line = 0;
    let character = 0;
    for (let i = 0; i < data.length; i += 5) {
      line += data[i];
      character = data[i] === 0 ? character + data[i + 1] : data[i + 1];
      const scope = scopeOf[legend[data[i + 3]]];
      for (let c = character; c < character + data[i + 2]; ++c) wanted[line][c] = scope === null ? undefined : scope;
    }
    let stack = textmate.INITIAL;
    lines.forEach((text, n) => {
      const { tokens, ruleStack } = grammar.tokenizeLine(text, stack);
      stack = ruleStack;
      for (const token of tokens) {
        const scopes = token.scopes.slice(1);
        const got = scopes.length ? scopes[scopes.length - 1] : null;
        for (let c = token.startIndex; c < Math.min(token.endIndex, text.length); ++c) {
          const want = wanted[n][c];
          if (want === undefined) continue;
          ++checked;
          const ok = want === null ? got === null : got !== null && (want.endsWith('.') ? got.startsWith(want) : got === want);
          if (!ok)
            fail(`${basename(scene)}${how}:${n + 1}:${c + 1}: "${text.slice(token.startIndex, token.endIndex)}" ` +
              `is ${got ?? 'plain'}, the studio colours it as ${want ?? 'plain'}`);
        }
      }
    });
  }
}
await server.request('shutdown');
server.notify('exit');
const status = await exited;
if (status !== 0) fail(`glimmark lsp exited with ${status}`);

if (failures.length) {
  console.error(failures.join('\n'));
  process.exit(1);
}
console.log(`${scenes.length} scenes, as written and in lower case: ${checked} characters scoped as the studio colours them`);
