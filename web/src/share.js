// A scene in a link: its UTF-8 text, deflated (raw, no header) and written in
// base64url, after "#s=" in the page's address. Reading a link is bounded:
// the fragment and the inflated text may not pass the trace's limit, and the
// text is inflated piece by piece, so that a crafted link cannot fill the
// memory. The page reads and writes links in a worker of their own
// (link-worker.js), so that neither holds up its thread.
import { breathe } from './turns.js';

// The most characters a trace reads, and so the most a link may carry.
export const MAX_SCENE_CHARACTERS = 16777215;
// Base64url characters decoded per piece (a multiple of 4): 768 deflated
// bytes, which inflate to about 0.8 MB at most in one go (a few milliseconds;
// 3 KiB pieces took 50 to 110 ms in a browser just started).
const PIECE = 1 << 10;

// `parts`: what a Blob is made of (byte arrays, strings).
async function pipe(parts, stream) {
  const out = new Response(new Blob(parts).stream().pipeThrough(stream));
  return new Uint8Array(await out.arrayBuffer());
}

export function toBase64Url(bytes) {
  let binary = '';
  for (let i = 0; i < bytes.length; i += 0x8000)
    binary += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

export function fromBase64Url(text) {
  const b64 = text.replace(/-/g, '+').replace(/_/g, '/');
  const binary = atob(b64 + '='.repeat((4 - (b64.length % 4)) % 4));
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
  return bytes;
}

// The fragment ("s=...") of a scene: its text, or its UTF-8 bytes in parts.
export async function sceneToFragment(scene) {
  const parts = typeof scene === 'string' ? [new TextEncoder().encode(scene)] : scene;
  const packed = await pipe(parts, new CompressionStream('deflate-raw'));
  return 's=' + toBase64Url(packed);
}

// Why a link cannot be read: its message is what the page says.
export class LinkError extends Error {}

// The base64url text as a stream of bytes, a piece per pull.
function base64Stream(text) {
  let at = 0;
  return new ReadableStream({
    pull(controller) {
      if (at >= text.length) {
        controller.close();
        return;
      }
      const piece = text.slice(at, at + PIECE);
      at += PIECE;
      // A single character left over carries no whole byte.
      if (piece.length % 4 === 1) throw new LinkError('it is cut off (its last character stands alone)');
      controller.enqueue(fromBase64Url(piece));
    },
  });
}

// The scene text of a fragment ("#s=...", "s=...", percent-encoded or not);
// null when the fragment carries no scene. Throws a LinkError saying why when
// it cannot be read.
export async function sceneFromFragment(fragment) {
  await breathe();
  if (fragment.length > MAX_SCENE_CHARACTERS + 3)
    throw new LinkError(`it is longer than ${MAX_SCENE_CHARACTERS} characters`);
  let plain = fragment.replace(/^#/, '');
  if (/^s%3d/i.test(plain)) {
    try {
      plain = decodeURIComponent(plain);
    } catch {
      throw new LinkError('its percent-encoding is damaged');
    }
  }
  if (!plain.startsWith('s=')) return null;
  const packed = plain.slice(2);
  const bad = /[^A-Za-z0-9_-]/.exec(packed);
  if (bad)
    throw new LinkError(
      `it holds ${JSON.stringify(bad[0])} at character ${bad.index + 4}; ` +
        `a scene's link holds only letters, digits, "-" and "_"`,
    );
  const reader = base64Stream(packed).pipeThrough(new DecompressionStream('deflate-raw')).getReader();
  const decoder = new TextDecoder('utf-8', { fatal: true });
  const parts = [];
  let length = 0;
  try {
    for (;;) {
      await breathe();
      let piece;
      try {
        piece = await reader.read();
      } catch (e) {
        if (e instanceof LinkError) throw e;
        throw new LinkError('it is cut off or damaged (its scene does not inflate)');
      }
      let text;
      try {
        text = decoder.decode(piece.done ? undefined : piece.value, { stream: !piece.done });
      } catch {
        throw new LinkError('its scene is not UTF-8 text');
      }
      length += text.length;
      if (length > MAX_SCENE_CHARACTERS)
        throw new LinkError(`its scene has more than ${MAX_SCENE_CHARACTERS} characters, the most a trace reads`);
      parts.push(text);
      if (piece.done) break;
    }
  } finally {
    reader.cancel().catch(() => {});
  }
  return parts.join('');
}
