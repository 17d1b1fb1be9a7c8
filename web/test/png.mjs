// Reads a PNG file's pixels as RGBA bytes: 8 bits per channel, grey, grey
// with alpha, RGB or RGBA, not interlaced (what the command line and the
// browsers write).
import { inflateSync } from 'node:zlib';

const channelsOf = { 0: 1, 2: 3, 4: 2, 6: 4 };

export function decodePng(bytes) {
  const buf = Buffer.from(bytes);
  if (buf.readUInt32BE(0) !== 0x89504e47) throw new Error('not a PNG file');
  let pos = 8;
  let width = 0, height = 0, channels = 0;
  const idat = [];
  while (pos < buf.length) {
    const length = buf.readUInt32BE(pos);
    const type = buf.toString('latin1', pos + 4, pos + 8);
    const data = buf.subarray(pos + 8, pos + 8 + length);
    if (type === 'IHDR') {
      width = data.readUInt32BE(0);
      height = data.readUInt32BE(4);
      const depth = data[8], colour = data[9], interlace = data[12];
      channels = channelsOf[colour];
      if (depth !== 8 || !channels || interlace !== 0)
        throw new Error(`PNG of depth ${depth}, colour type ${colour}, interlace ${interlace} not read here`);
    } else if (type === 'IDAT') idat.push(data);
    else if (type === 'IEND') break;
    pos += 12 + length;
  }
  const raw = inflateSync(Buffer.concat(idat));
  const stride = width * channels;
  const rows = new Uint8Array(height * stride);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    const out = rows.subarray(y * stride, (y + 1) * stride);
    const up = y > 0 ? rows.subarray((y - 1) * stride, y * stride) : new Uint8Array(stride);
    for (let i = 0; i < stride; ++i) {
      const a = i >= channels ? out[i - channels] : 0;
      const b = up[i];
      const c = i >= channels ? up[i - channels] : 0;
      let p;
      switch (filter) {
        case 0: p = 0; break;
        case 1: p = a; break;
        case 2: p = b; break;
        case 3: p = (a + b) >> 1; break;
        case 4: {
          const pa = Math.abs(b - c), pb = Math.abs(a - c), pc = Math.abs(a + b - 2 * c);
          p = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
          break;
        }
        default: throw new Error(`PNG row filter ${filter}`);
      }
      out[i] = (line[i] + p) & 255;
    }
  }
  const rgba = new Uint8Array(width * height * 4);
  for (let i = 0, j = 0; i < width * height; ++i, j += channels) {
    const grey = channels <= 2;
    rgba[i * 4] = rows[j];
    rgba[i * 4 + 1] = grey ? rows[j] : rows[j + 1];
    rgba[i * 4 + 2] = grey ? rows[j] : rows[j + 2];
    rgba[i * 4 + 3] = channels === 2 ? rows[j + 1] : channels === 4 ? rows[j + 3] : 255;
  }
  return { width, height, rgba };
}
