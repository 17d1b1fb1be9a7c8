// The scene language for the editor: words are coloured the way the scanner
// reads them and the studio colours them. Block keywords, the words one block
// understands, operator words, numbers, quoted strings, and comments (";" to
// the end of the line, "[ ... ]" over any number of lines). Letter case does
// not matter.
import { StreamLanguage, HighlightStyle, syntaxHighlighting } from '@codemirror/language';
import { tags } from '@lezer/highlight';
import { separators, keywords, statements, operators } from 'glimmark-vocabulary';

const separatorSet = new Set(separators);
const keywordSet = new Set(keywords);
const statementSet = new Set(statements);
const operatorSet = new Set(operators);

const isSeparator = (c) => separatorSet.has(c);
// A token reads at most this many characters; the rest of a longer run is
// read as further tokens. The editor colours a line up to about 10,000
// characters and then stops, so a line of millions of letters costs no more
// than one of ten thousand.
const TOKEN_LIMIT = 1000;
const isDigit = (c) => c >= '0' && c <= '9';

// What the number reader accepts at the start of a word: a sign, then digits
// with an optional point, at least one digit.
export function startsWithNumber(word) {
  let i = 0;
  if (word[i] === '+' || word[i] === '-') ++i;
  let digit = false;
  while (i < word.length && isDigit(word[i])) {
    digit = true;
    ++i;
  }
  if (word[i] === '.' && isDigit(word[i + 1] ?? '')) digit = true;
  return digit;
}

// 'keyword', 'statement', 'operator', 'number' or null, as the studio decides.
export function classify(word) {
  const upper = word.replace(/[a-z]+/g, (s) => s.toUpperCase());
  if (keywordSet.has(upper)) return 'keyword';
  if (startsWithNumber(word)) return 'number';
  if (statementSet.has(upper)) return 'statement';
  if (operatorSet.has(upper)) return 'operator';
  return null;
}

const tokenTags = {
  keyword: tags.keyword,
  statement: tags.propertyName,
  operator: tags.operatorKeyword,
  number: tags.number,
  string: tags.string,
  comment: tags.comment,
};

const sceneParser = {
  name: 'glimmark',
  startState: () => ({ inBracketComment: false }),
  copyState: (s) => ({ ...s }),
  token(stream, state) {
    if (state.inBracketComment) {
      if (stream.skipTo(']')) {
        stream.next();
        state.inBracketComment = false;
      } else {
        stream.skipToEnd();
      }
      return 'comment';
    }
    const c = stream.peek();
    if (isSeparator(c) || c === '{') {
      stream.next();
      while (!stream.eol() && stream.pos - stream.start < TOKEN_LIMIT && (isSeparator(stream.peek()) || stream.peek() === '{'))
        stream.next();
      return null;
    }
    if (c === ';') {
      stream.skipToEnd();
      return 'comment';
    }
    if (c === '[') {
      // To the closing bracket, on this line or a later one.
      stream.next();
      if (stream.skipTo(']')) stream.next();
      else {
        stream.skipToEnd();
        state.inBracketComment = true;
      }
      return 'comment';
    }
    if (c === '"') {
      // A quoted file name may hold blanks: up to the closing quote.
      stream.next();
      if (stream.skipTo('"')) stream.next();
      else stream.skipToEnd();
      return 'string';
    }
    while (!stream.eol() && stream.pos - stream.start < TOKEN_LIMIT && !isSeparator(stream.peek())) stream.next();
    return classify(stream.current());
  },
  tokenTable: tokenTags,
  languageData: { commentTokens: { line: ';', block: { open: '[', close: ']' } } },
};

export const sceneLanguage = StreamLanguage.define(sceneParser);

// The studio's hues on the editor's light background; the page's style sheet
// gives lighter ones for the dark theme.
export const sceneHighlightStyle = HighlightStyle.define([
  { tag: tags.keyword, color: 'var(--word-keyword, #0030a0)', fontWeight: 'bold' },
  { tag: tags.propertyName, color: 'var(--word-property, #007080)' },
  { tag: tags.operatorKeyword, color: 'var(--word-operator, #902090)' },
  { tag: tags.number, color: 'var(--word-number, #a04000)' },
  { tag: tags.string, color: 'var(--word-string, #108010)' },
  { tag: tags.comment, color: 'var(--word-comment, #808080)', fontStyle: 'italic' },
]);

export const sceneHighlighting = [sceneLanguage, syntaxHighlighting(sceneHighlightStyle)];
