// Writes teletext pages straight into MODE 7's screen memory of an
// emulated BBC Micro (jsbeeb) and checks that each frame shows exactly
// what render_teletext draws, pixel for pixel: pages made for every
// control code in every state (colours, hold with separated and contiguous
// switches, new and black background, conceal, double height, flash) and
// random pages of control codes and mosaics. It also prints what it found
// of the machine: where the page is in the frame, the colours it showed.
//
// node teletext_pages.mjs TELETEXT_PREVIEW WORK_DIR
// Exit status: 0 every frame matched, 1 one did not, 77 skipped (jsbeeb is
// not installed: run "npm ci" in this directory; with CI=true that fails
// instead).
import { execFileSync } from "node:child_process";
import fs from "node:fs";
import path from "node:path";
import { decodePng } from "./png.mjs";
import { FRAME_HEIGHT, FRAME_WIDTH, requireJsbeeb } from "./jsbeeb.mjs";

const args = process.argv.slice(2);
if (args.length !== 2) {
    console.error("usage: node teletext_pages.mjs TELETEXT_PREVIEW WORK_DIR");
    process.exit(2);
}
const [preview, workDir] = args.map((p) => path.resolve(p));
requireJsbeeb();
const { MachineSession } = await import("jsbeeb/machine-session");

const FIELD = 40_000; // cycles of the 2 MHz machine per field
const WIDTH = 640;
const HEIGHT = 500;
const PAGE = 0x7c00;
const FRAMES_COMPARED = 3;

// ---- The pages -----------------------------------------------------------

const GRAPHICS = (colour) => 144 + colour; // 145-151
const ALPHA = (colour) => 128 + colour; // 129-135
const [FLASH, STEADY, NORMAL, DOUBLE, CONCEAL, CONTIGUOUS, SEPARATED, BLACK_BG, NEW_BG, HOLD, RELEASE] =
    [136, 137, 140, 141, 152, 153, 154, 156, 157, 158, 159];
const mosaic = (blocks) => 0xa0 | (blocks & 31) | ((blocks & 32) << 1);

// The rows as a page, each mosaic in letters made a space: the chip would
// show a letter there.
function pageOf(rows) {
    const page = new Uint8Array(1000).fill(32);
    rows.forEach((row, y) => {
        let graphics = false;
        row.slice(0, 40).forEach((code, x) => {
            if (code >= 129 && code <= 135) graphics = false;
            if (code >= 145 && code <= 151) graphics = true;
            page[40 * y + x] = code >= 160 && !graphics ? 32 : code;
        });
    });
    return page;
}

// Every mosaic in every colour, contiguous and separated, on black and on
// other backgrounds.
function mosaicsPage() {
    const rows = [];
    for (let colour = 1; colour < 8; ++colour) {
        for (const separated of [false, true]) {
            const row = [GRAPHICS(colour)];
            if (separated) row.push(SEPARATED);
            for (let i = 0; row.length < 40; ++i) row.push(mosaic((i * 5 + colour * 7) & 63));
            rows.push(row);
        }
    }
    for (let colour = 1; colour < 8; ++colour) {
        const back = colour % 7 + 1;
        const row = [GRAPHICS(back), NEW_BG, GRAPHICS(colour)];
        for (let i = 0; row.length < 40; ++i) row.push(i === 18 ? SEPARATED : mosaic((i * 11 + colour) & 63));
        rows.push(row);
    }
    return pageOf(rows);
}

// Each control code after a mosaic, with hold off and on, and what the
// next cells show: set-at or set-after, held or a space.
function controlsPage() {
    const rows = [];
    for (let code = 128; code < 160; ++code) {
        if (code === DOUBLE) continue; // double height has its own page
        const row = [GRAPHICS(2), mosaic(63), code, mosaic(21), code, HOLD, mosaic(42), code, mosaic(7), code, code];
        row.push(GRAPHICS(5), SEPARATED, mosaic(45), code, HOLD, code, mosaic(63), CONTIGUOUS, code, RELEASE, code);
        row.push(GRAPHICS(6), NEW_BG, GRAPHICS(4), mosaic(51), HOLD, code, SEPARATED, code, mosaic(12), RELEASE, code, HOLD);
        rows.push(row);
    }
    return pageOf(rows.slice(0, 25));
}

// Hold across shape, colour and background changes; double height.
function holdPage() {
    const rows = [
        [GRAPHICS(1), HOLD, mosaic(63), SEPARATED, mosaic(63), CONTIGUOUS, SEPARATED, mosaic(21), GRAPHICS(3), CONTIGUOUS, mosaic(42), NEW_BG, GRAPHICS(4), BLACK_BG, RELEASE, NEW_BG],
        [HOLD, GRAPHICS(6), mosaic(9), SEPARATED, GRAPHICS(2), RELEASE, HOLD, mosaic(54), ALPHA(3), GRAPHICS(7), mosaic(33), NEW_BG, HOLD, 32, CONCEAL, mosaic(63), GRAPHICS(1), mosaic(63)],
        [NEW_BG, GRAPHICS(1), DOUBLE, mosaic(63), HOLD, GRAPHICS(2), mosaic(21), NORMAL, mosaic(42), DOUBLE, SEPARATED, mosaic(63), NEW_BG, GRAPHICS(3), mosaic(7)],
        [NEW_BG, GRAPHICS(1), DOUBLE, mosaic(63), HOLD, GRAPHICS(2), mosaic(21), NORMAL, mosaic(42), DOUBLE, SEPARATED, mosaic(56), NEW_BG, GRAPHICS(3), mosaic(7)],
        [GRAPHICS(5), mosaic(63), DOUBLE, mosaic(63), FLASH, mosaic(50), STEADY, mosaic(13), NORMAL],
        [GRAPHICS(5), mosaic(63), mosaic(63), DOUBLE, mosaic(3), FLASH, mosaic(50), STEADY, mosaic(13), NORMAL, DOUBLE, mosaic(12)],
        [DOUBLE, GRAPHICS(4), mosaic(63)],
        [GRAPHICS(3), DOUBLE, mosaic(18), HOLD, NORMAL, DOUBLE, RELEASE, NORMAL],
    ];
    return pageOf(rows);
}

// Random control codes and mosaics, never a letter: a mosaic only while
// the row is in graphics, as the chip would otherwise show a letter.
function randomPage(seed) {
    let state = seed;
    const random = (n) => ((state = (Math.imul(state, 1103515245) + 12345) >>> 0) >>> 8) % n;
    const page = new Uint8Array(1000);
    for (let y = 0; y < 25; ++y) {
        let graphics = false;
        for (let x = 0; x < 40; ++x) {
            let code;
            if (graphics && random(2)) {
                do code = 160 + random(96);
                while (code >= 192 && code < 224);
            } else {
                code = random(3) ? 128 + random(32) : GRAPHICS(1 + random(7));
                // Double height and flash in a few rows only: they hide or
                // shift whole rows.
                if ((code === DOUBLE || code === FLASH) && y % 5) code = HOLD;
                if (code === 160) code = 32;
            }
            if (code >= 129 && code <= 135) graphics = false;
            if (code >= 145 && code <= 151) graphics = true;
            page[40 * y + x] = code;
        }
    }
    return page;
}

const PAGES = [
    { name: "mosaics", bytes: mosaicsPage() },
    { name: "controls", bytes: controlsPage() },
    { name: "hold", bytes: holdPage() },
    ...[1, 2, 3, 4, 5, 6].map((seed) => ({ name: `random${seed}`, bytes: randomPage(seed * 7919) })),
];

// ---- The machine -----------------------------------------------------------

const hex = (value, digits) => "&" + value.toString(16).toUpperCase().padStart(digits, "0");
const colour = (rgb) => "#" + Array.from(rgb, (c) => c.toString(16).toUpperCase().padStart(2, "0")).join("");

const session = new MachineSession("B-DFS1.2");
const log = console.log;
console.log = () => {}; // jsbeeb announces every ROM it loads
try {
    await session.initialise();
    await session.boot(30);
} finally {
    console.log = log;
}
const cpu = session._machine.processor;
const video = cpu.video;
const teletext = video.teletext;
// The OS's cursor would flash over the page: off, in the 6845's cursor
// start register.
cpu.writemem(0xfe00, 10);
cpu.writemem(0xfe01, 0x20);

// Where the chip drew each field, and whether flashing cells were hidden
// in it.
const emptyField = () => ({ left: FRAME_WIDTH, top: FRAME_HEIGHT, right: 0, bottom: 0, hidFlash: false });
let field = emptyField();
const fields = [];
const render = teletext.render.bind(teletext);
teletext.render = (buf, offset) => {
    const x = offset % FRAME_WIDTH;
    const y = (offset - x) / FRAME_WIDTH;
    field.left = Math.min(field.left, x);
    field.right = Math.max(field.right, x + 16);
    field.top = Math.min(field.top, y);
    field.bottom = Math.max(field.bottom, y + 1);
    field.hidFlash ||= teletext.flashOn;
    render(buf, offset);
};
const paint = video.paint_ext;
video.paint_ext = (...bounds) => {
    paint(...bounds);
    fields.push(field);
    field = emptyField();
};

async function runFields(count) {
    const target = fields.length + count;
    for (let budget = (count + 2) * FIELD; fields.length < target; budget -= 10_000) {
        if (budget <= 0) throw new Error(`the video chip painted no frame for ${count + 2} fields`);
        await session.runFor(10_000);
    }
}

// The frame as the last two fields left it: each draws every other line.
function lastFrame() {
    const [a, b] = fields.slice(-2);
    return {
        left: Math.min(a.left, b.left), right: Math.max(a.right, b.right),
        top: Math.min(a.top, b.top), bottom: Math.max(a.bottom, b.bottom),
        hidFlash: a.hidFlash || b.hidFlash, pixels: session._completeFb8,
    };
}

function firstDifference(frame, expected, name) {
    const width = frame.right - frame.left;
    const height = frame.bottom - frame.top;
    if (width !== WIDTH || height !== HEIGHT)
        return `the displayed area is ${width} x ${height} at (${frame.left}, ${frame.top}), not ${WIDTH} x ${HEIGHT}`;
    const fb = frame.pixels;
    for (let y = 0; y < HEIGHT; ++y) {
        for (let x = 0; x < WIDTH; ++x) {
            const f = ((frame.top + y) * FRAME_WIDTH + frame.left + x) * 4;
            const p = (y * WIDTH + x) * 3;
            if (fb[f] !== expected[p] || fb[f + 1] !== expected[p + 1] || fb[f + 2] !== expected[p + 2])
                return `pixel (${x}, ${y}) (cell ${x >> 4}, ${Math.floor(y / 20)}) is ${colour(fb.subarray(f, f + 3))}, ` +
                       `${name}.png has ${colour(expected.subarray(p, p + 3))}`;
        }
    }
    for (let y = 0; y < FRAME_HEIGHT; ++y) {
        for (let x = 0; x < FRAME_WIDTH; ++x) {
            const inside = x >= frame.left && x < frame.right && y >= frame.top && y < frame.bottom;
            const f = (y * FRAME_WIDTH + x) * 4;
            if (!inside && (fb[f] || fb[f + 1] || fb[f + 2])) return `the border shows ${colour(fb.subarray(f, f + 3))} at (${x}, ${y})`;
        }
    }
    return null;
}

// ---- The check -------------------------------------------------------------

const started = Date.now();
fs.rmSync(workDir, { recursive: true, force: true });
fs.mkdirSync(workDir, { recursive: true });
const previewArgs = [];
for (const page of PAGES) {
    fs.writeFileSync(path.join(workDir, `${page.name}.bin`), page.bytes);
    previewArgs.push(`${page.name}.bin`, `${page.name}.png`);
}
execFileSync(preview, previewArgs, { cwd: workDir, stdio: "inherit" });

const regs = video.regs;
const start = (regs[12] << 8) | regs[13];
console.log(`MODE 7: the 6845 starts at ${hex(start, 4)} (screen memory ${hex(PAGE, 4)}), R8 ${hex(regs[8], 2)} ` +
            `(interlaced sync and video), R9 ${regs[9]}`);
const failures = [];
const seen = new Set();
let where = null;
for (const page of PAGES) {
    session.writeMemory(PAGE, Array.from(page.bytes));
    const expected = decodePng(fs.readFileSync(path.join(workDir, `${page.name}.png`)), `${page.name}.png`).rgb;
    // Both fields of the page, then frames a field apart, each with both
    // fields' lines; flashing cells show except in a quarter of the fields.
    await runFields(3);
    let compared = 0;
    let failure = null;
    for (let tries = 0; compared < FRAMES_COMPARED && !failure; ++tries) {
        if (tries > 64) throw new Error(`${page.name}: flashing cells were hidden in every frame`);
        await runFields(1);
        const frame = lastFrame();
        if (frame.hidFlash) continue;
        failure = firstDifference(frame, expected, page.name);
        where ??= frame;
        for (let i = 0; compared === 0 && i < WIDTH * HEIGHT; ++i) {
            const f = ((frame.top + Math.floor(i / WIDTH)) * FRAME_WIDTH + frame.left + (i % WIDTH)) * 4;
            seen.add(frame.pixels[f] << 16 | frame.pixels[f + 1] << 8 | frame.pixels[f + 2]);
        }
        ++compared;
    }
    if (failure) failures.push(`${page.name}: ${failure}`);
    console.log(`${failure ? "FAIL" : "ok  "} ${page.name}: ${compared} frames`);
}
console.log(`The page shows at (${where.left}, ${where.top}) to (${where.right}, ${where.bottom}) of the ${FRAME_WIDTH} x ${FRAME_HEIGHT} frame; ` +
            `${seen.size} colours: ${[...seen].sort((a, b) => a - b).map((c) => colour([c >> 16, c >> 8 & 255, c & 255])).join(" ")}`);
const took = ((Date.now() - started) / 1000).toFixed(1);
if (failures.length) {
    console.log(`\n${failures.length} page(s) differ (${took} s):`);
    for (const failure of failures) console.log(`  ${failure}`);
    process.exit(1);
}
console.log(`All ${PAGES.length} pages show as render_teletext draws them (${took} s)`);
