// A WACZ read as a replay tool reads it: the ZIP's entries with how each is
// stored and whether its checksum holds, and the WARC records of its
// archive as warcio parses them, each with its own gzip member cut out of
// the file by the offset and length the parser reports.
import crypto from 'node:crypto';
import zlib from 'node:zlib';
import { unzipSync } from 'fflate';
import { WARCParser } from 'warcio';

// Name, compression method and CRC-32 of each entry, from the ZIP's central
// directory (ZIP64 when the end record points on to one).
function centralDirectory(zip) {
  const end = zip.lastIndexOf(Buffer.from('PK\x05\x06', 'latin1'));
  if (end < 0) throw new Error('no end of central directory: not a ZIP file');
  let count = zip.readUInt16LE(end + 10);
  let at = zip.readUInt32LE(end + 16);
  if (at === 0xffffffff || count === 0xffff) {
    const zip64 = Number(zip.readBigUInt64LE(end - 20 + 8));
    count = Number(zip.readBigUInt64LE(zip64 + 32));
    at = Number(zip.readBigUInt64LE(zip64 + 48));
  }
  const entries = new Map();
  for (let i = 0; i < count; i++) {
    if (zip.readUInt32LE(at) !== 0x02014b50) throw new Error(`central directory entry ${i} is broken`);
    const nameLength = zip.readUInt16LE(at + 28);
    entries.set(zip.toString('utf8', at + 46, at + 46 + nameLength),
      { method: zip.readUInt16LE(at + 10), crc: zip.readUInt32LE(at + 16) });
    at += 46 + nameLength + zip.readUInt16LE(at + 30) + zip.readUInt16LE(at + 32);
  }
  return entries;
}

// The entries of the ZIP file's bytes: name -> { data, stored (no
// compression), crcHolds }.
export function readZip(zip) {
  const directory = centralDirectory(zip);
  const files = unzipSync(new Uint8Array(zip.buffer, zip.byteOffset, zip.length));
  const entries = new Map();
  for (const [name, data] of Object.entries(files)) {
    const { method, crc } = directory.get(name) ?? {};
    entries.set(name, {
      data: Buffer.from(data),
      stored: method === 0,
      // zlib.crc32 came with Node.js 20.15; older ones skip the check.
      crcHolds: typeof zlib.crc32 !== 'function' || zlib.crc32(data) === crc,
    });
  }
  return entries;
}

export const sha256 = (bytes) => crypto.createHash('sha256').update(bytes).digest('hex');

// SHA-1 in base 32 (RFC 4648, upper case, padded), as WARC digests write it.
export function sha1Base32(bytes) {
  const digest = crypto.createHash('sha1').update(bytes).digest();
  const alphabet = 'ABCDEFGHIJKLMNOPQRSTUVWXYZ234567';
  let bits = '';
  for (const byte of digest) bits += byte.toString(2).padStart(8, '0');
  let out = '';
  for (let i = 0; i < bits.length; i += 5) out += alphabet[parseInt(bits.slice(i, i + 5).padEnd(5, '0'), 2)];
  return out.padEnd(Math.ceil(out.length / 8) * 8, '=');
}

// The body of a chunked message, or null when Bytes are not chunked.
export function dechunk(bytes) {
  const parts = [];
  let at = 0;
  for (;;) {
    const lineEnd = bytes.indexOf('\r\n', at);
    if (lineEnd < 0) return null;
    const size = parseInt(bytes.toString('latin1', at, lineEnd).split(';')[0], 16);
    if (Number.isNaN(size)) return null;
    at = lineEnd + 2;
    if (size === 0) return Buffer.concat(parts);
    if (at + size + 2 > bytes.length || bytes.toString('latin1', at + size, at + size + 2) !== '\r\n') return null;
    parts.push(bytes.subarray(at, at + size));
    at += size + 2;
  }
}

// Every record of a gzipped WARC file's bytes, in order: its WARC headers
// (lower-case names), its HTTP status and headers where it holds an HTTP
// message, its payload as stored and its entity (the payload with a chunked
// transfer coding undone), its whole block, and its gzip member (offset,
// length and what the member holds when inflated alone).
export async function readWarc(gz) {
  const parser = new WARCParser([gz]);
  const records = [];
  for await (const record of parser) {
    const payload = Buffer.from(await record.readFully(false));
    const headers = new Map([...record.warcHeaders.headers].map(([k, v]) => [k.toLowerCase(), v]));
    const http = record.httpHeaders && {
      statusline: record.httpHeaders.statusline,
      status: Number(record.httpHeaders.statusCode),
      headers: new Map([...record.httpHeaders.headers].map(([k, v]) => [k.toLowerCase(), v])),
    };
    const chunked = /chunked/i.test(http?.headers.get('transfer-encoding') ?? '');
    records.push({
      version: record.warcHeaders.protocol,
      type: record.warcType,
      id: headers.get('warc-record-id'),
      uri: headers.get('warc-target-uri'),
      headers,
      http,
      payload,
      entity: chunked ? dechunk(payload) : payload,
      offset: parser.offset,
      length: parser.recordLength,
    });
  }
  for (const record of records) {
    const member = gz.subarray(record.offset, record.offset + record.length);
    try {
      record.member = zlib.gunzipSync(member);
    } catch (e) {
      record.member = null;
      record.memberError = e.message;
    }
    // The block: after the WARC headers, Content-Length bytes, then CRLF CRLF.
    const start = record.member ? record.member.indexOf('\r\n\r\n') + 4 : -1;
    const length = Number(record.headers.get('content-length'));
    record.block = start > 3 ? record.member.subarray(start, start + length) : null;
    record.trailerHolds = start > 3 && record.member.length === start + length + 4 &&
      record.member.toString('latin1', start + length) === '\r\n\r\n';
  }
  return records;
}

// The lines of a CDXJ index: the key, the timestamp and the JSON fields.
export function readCdxj(text) {
  return text.split('\n').filter((line) => line.trim() !== '').map((line) => {
    const match = /^(\S+) (\d+) (\{.*\})$/.exec(line);
    return match ? { line, key: match[1], timestamp: match[2], fields: JSON.parse(match[3]) } : { line, bad: true };
  });
}
