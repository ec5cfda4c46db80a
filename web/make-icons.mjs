// Draws the page's app icons, icon-192.png and icon-512.png, from the game's own map
// glyphs: a corner of a dungeon with its walls, the exit, the hero and a monster, in the
// colours of the PC's VGA text mode. Plain Node (zlib for the PNG), so that the icons can
// be drawn again anywhere:  node web/make-icons.mjs [folder]   (default: web/)
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import zlib from 'node:zlib';

// 5 x 7 glyphs, one string per row, "#" lit.
const GLYPHS = {
  W: ['#...#', '#...#', '#...#', '#.#.#', '#.#.#', '##.##', '#...#'],
  H: ['#...#', '#...#', '#...#', '#####', '#...#', '#...#', '#...#'],
  M: ['#...#', '##.##', '#.#.#', '#.#.#', '#...#', '#...#', '#...#'],
  '>': ['#....', '.#...', '..#..', '...#.', '..#..', '.#...', '#....'],
  '.': ['.....', '.....', '.....', '.....', '.....', '.##..', '.##..'],
  ' ': ['.....', '.....', '.....', '.....', '.....', '.....', '.....'],
};
const COLOURS = {
  W: [0xaa, 0xaa, 0xaa],
  H: [0xff, 0xff, 0x55],
  M: [0xff, 0x55, 0x55],
  '>': [0x55, 0xff, 0x55],
  '.': [0x55, 0x55, 0x55],
  ' ': [0, 0, 0],
};
const BACKGROUND = [0, 0, 0];
const MAP = ['WWWW', 'W>.W', 'W.HM', 'W..W'];

// A glyph cell is 6 x 8 dots: the glyph and one dot of space right of and below it.
function draw(size) {
  const dotsWide = MAP[0].length * 6 - 1;
  const dotsHigh = MAP.length * 8 - 1;
  // The picture keeps to the middle 80 %, where a round or squircle mask leaves it whole.
  const dot = Math.floor((size * 0.8) / Math.max(dotsWide, dotsHigh));
  const left = Math.floor((size - dotsWide * dot) / 2);
  const top = Math.floor((size - dotsHigh * dot) / 2);
  const pixels = Buffer.alloc(size * size * 3);
  for (let i = 0; i < size * size; i++) {
    pixels.set(BACKGROUND, i * 3);
  }
  MAP.forEach((row, cellY) => {
    [...row].forEach((symbol, cellX) => {
      GLYPHS[symbol].forEach((line, dotY) => {
        [...line].forEach((lit, dotX) => {
          if (lit !== '#') {
            return;
          }
          const x0 = left + (cellX * 6 + dotX) * dot;
          const y0 = top + (cellY * 8 + dotY) * dot;
          for (let y = y0; y < y0 + dot; y++) {
            for (let x = x0; x < x0 + dot; x++) {
              pixels.set(COLOURS[symbol], (y * size + x) * 3);
            }
          }
        });
      });
    });
  });
  return pixels;
}

const CRC_TABLE = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; k++) {
    c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  }
  return c >>> 0;
});

function crc32(bytes) {
  let c = 0xffffffff;
  for (const byte of bytes) {
    c = CRC_TABLE[(c ^ byte) & 0xff] ^ (c >>> 8);
  }
  return (c ^ 0xffffffff) >>> 0;
}

function chunk(type, data) {
  const head = Buffer.alloc(8);
  head.writeUInt32BE(data.length, 0);
  head.write(type, 4, 'latin1');
  const crc = Buffer.alloc(4);
  crc.writeUInt32BE(crc32(Buffer.concat([head.subarray(4), data])), 0);
  return Buffer.concat([head, data, crc]);
}

// An 8-bit RGB PNG, each row with filter 0.
function png(size, pixels) {
  const header = Buffer.alloc(13);
  header.writeUInt32BE(size, 0);
  header.writeUInt32BE(size, 4);
  header.set([8, 2, 0, 0, 0], 8);
  const rows = Buffer.alloc(size * (size * 3 + 1));
  for (let y = 0; y < size; y++) {
    pixels.copy(rows, y * (size * 3 + 1) + 1, y * size * 3, (y + 1) * size * 3);
  }
  return Buffer.concat([
    Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
    chunk('IHDR', header),
    chunk('IDAT', zlib.deflateSync(rows, { level: 9 })),
    chunk('IEND', Buffer.alloc(0)),
  ]);
}

const folder = process.argv[2] ?? path.dirname(fileURLToPath(import.meta.url));
for (const size of [192, 512]) {
  const file = path.join(folder, `icon-${size}.png`);
  fs.writeFileSync(file, png(size, draw(size)));
  console.log(`${file}: ${fs.statSync(file).size} bytes`);
}
