// A scene in a link: its UTF-8 text, deflated (raw, no header) and written in
// base64url, after "#s=" in the page's address.

async function pipe(bytes, stream) {
  const out = new Response(new Blob([bytes]).stream().pipeThrough(stream));
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

export async function sceneToFragment(text) {
  const packed = await pipe(new TextEncoder().encode(text), new CompressionStream('deflate-raw'));
  return 's=' + toBase64Url(packed);
}

// The scene of a fragment ("#s=..." or "s=..."); null when it carries none.
// Throws when the fragment is damaged.
export async function sceneFromFragment(fragment) {
  const m = /^#?s=([A-Za-z0-9_-]*)$/.exec(fragment);
  if (!m) return null;
  const bytes = await pipe(fromBase64Url(m[1]), new DecompressionStream('deflate-raw'));
  return new TextDecoder('utf-8', { fatal: true }).decode(bytes);
}
