// Reads the PNG files tarnvil-view writes: palette colours at 1, 2 or 4
// bits per pixel (or 8-bit RGB), not interlaced. Anything else is refused
// rather than half-decoded, so a change in the previewer's output shows up
// as a clear error here.
import { inflateSync } from "node:zlib";

const SIGNATURE = Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);

function paeth(a, b, c) {
    const p = a + b - c;
    const pa = Math.abs(p - a);
    const pb = Math.abs(p - b);
    const pc = Math.abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// Returns { width, height, rgb } with rgb holding width * height * 3 bytes,
// rows top to bottom.
export function decodePng(bytes, name) {
    const fail = (why) => {
        throw new Error(`${name}: ${why}`);
    };
    if (bytes.length < 8 || !bytes.subarray(0, 8).equals(SIGNATURE)) fail("not a PNG file");
    let width = 0;
    let height = 0;
    let depth = 8;
    let palette = null;  // RGB triples, for colour type 3
    const compressed = [];
    let sawEnd = false;
    for (let at = 8; at < bytes.length && !sawEnd; ) {
        if (at + 12 > bytes.length) fail("truncated chunk");
        const length = bytes.readUInt32BE(at);
        const type = bytes.toString("latin1", at + 4, at + 8);
        const data = bytes.subarray(at + 8, at + 8 + length);
        if (data.length !== length) fail(`truncated ${type} chunk`);
        if (type === "IHDR") {
            width = data.readUInt32BE(0);
            height = data.readUInt32BE(4);
            const [bits, colourType, method, filterMethod, interlace] = data.subarray(8, 13);
            depth = bits;
            if (colourType === 3 && [1, 2, 4, 8].includes(bits)) palette = [];
            else if (bits !== 8 || colourType !== 2) fail(`bit depth ${bits}, colour type ${colourType}: only palettes and 8-bit RGB are read`);
            if (method !== 0 || filterMethod !== 0 || interlace !== 0) fail("only non-interlaced PNG with the standard methods is read");
        } else if (type === "PLTE") {
            if (!palette || length % 3 !== 0) fail("a PLTE chunk where none belongs");
            for (let i = 0; i < length; i += 3) palette.push(data.subarray(i, i + 3));
        } else if (type === "IDAT") {
            compressed.push(data);
        } else if (type === "IEND") {
            sawEnd = true;
        }
        at += 12 + length;
    }
    if (!width || !height) fail("no IHDR chunk");
    if (!sawEnd) fail("no IEND chunk");
    if (palette && !palette.length) fail("no PLTE chunk");

    const raw = inflateSync(Buffer.concat(compressed));
    const pixelBytes = palette ? 1 : 3;  // what the filters step back by
    const stride = palette ? Math.ceil((width * depth) / 8) : width * 3;
    if (raw.length !== height * (stride + 1)) fail(`image data holds ${raw.length} bytes, expected ${height * (stride + 1)}`);
    const rows = new Uint8Array(height * stride);
    for (let y = 0; y < height; ++y) {
        const filter = raw[y * (stride + 1)];
        const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
        const out = y * stride;
        const up = out - stride;
        for (let i = 0; i < stride; ++i) {
            const a = i >= pixelBytes ? rows[out + i - pixelBytes] : 0;
            const b = y > 0 ? rows[up + i] : 0;
            const c = i >= pixelBytes && y > 0 ? rows[up + i - pixelBytes] : 0;
            let predicted;
            switch (filter) {
                case 0: predicted = 0; break;
                case 1: predicted = a; break;
                case 2: predicted = b; break;
                case 3: predicted = (a + b) >> 1; break;
                case 4: predicted = paeth(a, b, c); break;
                default: fail(`row ${y} has unknown filter type ${filter}`);
            }
            rows[out + i] = (line[i] + predicted) & 0xff;
        }
    }
    if (!palette) return { width, height, rgb: rows };
    const rgb = new Uint8Array(width * height * 3);
    for (let y = 0; y < height; ++y) {
        for (let x = 0; x < width; ++x) {
            const bit = x * depth;
            const index = (rows[y * stride + (bit >> 3)] >> (8 - depth - (bit & 7))) & ((1 << depth) - 1);
            if (index >= palette.length) fail(`pixel (${x}, ${y}) has colour ${index}, beyond the palette`);
            rgb.set(palette[index], (y * width + x) * 3);
        }
    }
    return { width, height, rgb, palette };
}
