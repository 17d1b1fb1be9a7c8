// Writes the scene language's words as a JavaScript module for the page's
// highlighter, read from the tables the scanner and the studio use
// (language/vocabulary.h), so that the page colours exactly the words the
// studio colours.
//   node vocabulary.mjs <vocabulary.h> <out.js>
import { readFileSync, writeFileSync, mkdirSync } from 'node:fs';
import { dirname, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

// The quoted words of one table: `inline constexpr Word<...> NAME[] = { ... };`
export function tableWords(header, name) {
  const start = header.search(new RegExp(`\\b${name}\\[\\]\\s*=\\s*\\{`));
  if (start < 0) throw new Error(`no table ${name} in the vocabulary header`);
  const end = header.indexOf('};', start);
  const body = header.slice(header.indexOf('{', start) + 1, end);
  const words = [...body.matchAll(/\{\s*"([^"]+)"\s*,/g)].map((m) => m[1]);
  if (words.length === 0) throw new Error(`table ${name} has no words`);
  return words;
}

export function vocabularyModule(header) {
  const tables = {
    keywords: tableWords(header, 'keywords'),
    statements: tableWords(header, 'statement_words'),
    operators: tableWords(header, 'operator_words'),
  };
  let out = '// Made by web/tools/vocabulary.mjs from language/vocabulary.h; do not edit.\n';
  for (const [name, words] of Object.entries(tables))
    out += `export const ${name} = ${JSON.stringify(words)};\n`;
  return out;
}

if (process.argv[1] && resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  const [input, output] = process.argv.slice(2);
  if (!input || !output) {
    console.error('usage: node vocabulary.mjs <vocabulary.h> <out.js>');
    process.exit(2);
  }
  mkdirSync(dirname(output), { recursive: true });
  writeFileSync(output, vocabularyModule(readFileSync(input, 'utf8')));
}
