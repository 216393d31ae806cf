// Puts the page together: node assemble.mjs MODULE_DIR PAGE_DIR OUTPUT_DIR [ZIP].
// The WebAssembly goes into tarnvil-wasm.js as base64, beside the module's
// own script, so a classic <script src> brings everything: pages opened
// from file:// may not fetch, and the page fetches nothing anyway. With
// ZIP, the page also goes into one folder of a ZIP named after it, for
// people who never build anything; its entries carry a fixed time and
// nothing of the machine, so the same sources give the same bytes.
import { mkdirSync, readFileSync, readdirSync, writeFileSync, copyFileSync } from "node:fs";
import { basename, join } from "node:path";
import { deflateRawSync } from "node:zlib";

import { crc32 } from "./crc32.mjs";

const [moduleDir, pageDir, outputDir, zip] = process.argv.slice(2);
if (!outputDir) {
    console.error("usage: node assemble.mjs MODULE_DIR PAGE_DIR OUTPUT_DIR [ZIP]");
    process.exit(2);
}
mkdirSync(outputDir, { recursive: true });
const script = readFileSync(join(moduleDir, "tarnvil-wasm.js"), "utf8");
const wasm = readFileSync(join(moduleDir, "tarnvil-wasm.wasm"));
writeFileSync(
    join(outputDir, "tarnvil-wasm.js"),
    `${script}\nvar tarnvilWasmBytes = "${wasm.toString("base64")}";\n`,
);
for (const file of readdirSync(pageDir)) copyFileSync(join(pageDir, file), join(outputDir, file));

if (zip) {
    const folder = basename(zip, ".zip");
    const dosTime = 0;  // 00:00:00
    const dosDate = ((2026 - 1980) << 9) | (12 << 5) | 1;  // 1 December 2026
    const locals = [];
    const central = [];
    let offset = 0;
    for (const file of readdirSync(outputDir).sort()) {
        const data = readFileSync(join(outputDir, file));
        const packed = deflateRawSync(data, { level: 9 });
        const name = Buffer.from(`${folder}/${file}`);
        const fields = (header) => {
            header.writeUInt16LE(20, 0);  // version needed
            header.writeUInt16LE(0x0800, 2);  // UTF-8 names
            header.writeUInt16LE(8, 4);  // deflate
            header.writeUInt16LE(dosTime, 6);
            header.writeUInt16LE(dosDate, 8);
            header.writeUInt32LE(crc32(data), 10);
            header.writeUInt32LE(packed.length, 14);
            header.writeUInt32LE(data.length, 18);
            header.writeUInt16LE(name.length, 22);
        };
        const local = Buffer.alloc(30);
        local.writeUInt32LE(0x04034b50, 0);
        fields(local.subarray(4));
        locals.push(local, name, packed);
        const entry = Buffer.alloc(46);
        entry.writeUInt32LE(0x02014b50, 0);
        entry.writeUInt16LE(20, 4);  // made by
        fields(entry.subarray(6));
        entry.writeUInt32LE(offset, 42);
        central.push(entry, name);
        offset += local.length + name.length + packed.length;
    }
    const directory = Buffer.concat(central);
    const end = Buffer.alloc(22);
    end.writeUInt32LE(0x06054b50, 0);
    end.writeUInt16LE(central.length / 2, 8);
    end.writeUInt16LE(central.length / 2, 10);
    end.writeUInt32LE(directory.length, 12);
    end.writeUInt32LE(offset, 16);
    writeFileSync(zip, Buffer.concat([...locals, directory, end]));
}
