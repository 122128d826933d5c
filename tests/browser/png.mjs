// Screenshots compared pixel by pixel: PNG pictures as browsers write them
// (8 bits a channel, RGB or RGBA, not interlaced) decoded with zlib.
import zlib from 'node:zlib';

export function decodePng(buffer) {
  if (buffer.readUInt32BE(0) !== 0x89504e47) throw new Error('not a PNG picture');
  let at = 8;
  let width = 0;
  let height = 0;
  let channels = 0;
  const data = [];
  while (at < buffer.length) {
    const length = buffer.readUInt32BE(at);
    const type = buffer.toString('latin1', at + 4, at + 8);
    const body = buffer.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      const [depth, colour, , , interlace] = body.subarray(8, 13);
      if (depth !== 8 || interlace !== 0 || (colour !== 2 && colour !== 6)) {
        throw new Error(`a PNG picture of a kind not read here (${depth}, ${colour}, ${interlace})`);
      }
      channels = colour === 6 ? 4 : 3;
    } else if (type === 'IDAT') {
      data.push(body);
    }
    at += 12 + length;
  }
  const raw = zlib.inflateSync(Buffer.concat(data));
  const stride = width * channels;
  const pixels = Buffer.alloc(width * height * 4);
  let previous = Buffer.alloc(stride);
  for (let y = 0; y < height; y++) {
    const filter = raw[y * (stride + 1)];
    const line = Buffer.from(raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1)));
    for (let x = 0; x < stride; x++) {
      const left = x >= channels ? line[x - channels] : 0;
      const up = previous[x];
      const corner = x >= channels ? previous[x - channels] : 0;
      let add = 0;
      if (filter === 1) add = left;
      else if (filter === 2) add = up;
      else if (filter === 3) add = (left + up) >> 1;
      else if (filter === 4) {
        const p = left + up - corner;
        const pa = Math.abs(p - left);
        const pb = Math.abs(p - up);
        const pc = Math.abs(p - corner);
        add = pa <= pb && pa <= pc ? left : pb <= pc ? up : corner;
      }
      line[x] = (line[x] + add) & 0xff;
    }
    for (let x = 0; x < width; x++) {
      const o = (y * width + x) * 4;
      pixels[o] = line[x * channels];
      pixels[o + 1] = line[x * channels + 1];
      pixels[o + 2] = line[x * channels + 2];
      pixels[o + 3] = channels === 4 ? line[x * channels + 3] : 255;
    }
    previous = line;
  }
  return { width, height, pixels };
}

// The share of pixels that differ between two screenshots (a channel by
// more than Tolerance); where one picture is larger, the rest differs.
export function pixelDifference(a, b, tolerance = 8) {
  const one = decodePng(a);
  const two = decodePng(b);
  const width = Math.max(one.width, two.width);
  const height = Math.max(one.height, two.height);
  let differing = 0;
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      if (x >= one.width || x >= two.width || y >= one.height || y >= two.height) {
        differing++;
        continue;
      }
      const i = (y * one.width + x) * 4;
      const j = (y * two.width + x) * 4;
      for (let c = 0; c < 3; c++) {
        if (Math.abs(one.pixels[i + c] - two.pixels[j + c]) > tolerance) {
          differing++;
          break;
        }
      }
    }
  }
  return { share: differing / (width * height), sizes: [one.width, one.height, two.width, two.height] };
}
