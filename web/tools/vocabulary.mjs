// Writes the scene language's words and the characters that end a word as a
// JavaScript module for the page's highlighter, read from the tables and the
// rule the scanner and the studio use (language/vocabulary.h), so that the
// page colours exactly the words the studio colours.
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

// The characters of one quoted constant:
// `inline constexpr std::string_view NAME = "...";`. Its escapes (\t, \n,
// \r) are read as JSON reads them; any other is refused.
export function quotedConstant(header, name) {
  const found = header.match(new RegExp(`\\b${name}\\s*=\\s*"((?:[^"\\\\]|\\\\.)*)"\\s*;`));
  if (!found) throw new Error(`no constant ${name} in the vocabulary header`);
  const text = found[1];
  if (/\\[^tnr]/.test(text)) throw new Error(`constant ${name} has an escape other than \\t, \\n, \\r`);
  return JSON.parse(`"${text}"`);
}

export function vocabularyModule(header) {
  const tables = {
    separators: quotedConstant(header, 'word_separators'),
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
