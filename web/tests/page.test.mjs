// Drives the web page in Debian's Chromium, headless and offline, opened
// from file://, and holds it to the command-line programs built beside it:
// tarnvil.convert, tarnvil.preview and tarnvil.disc must give exactly what
// tarnvil, tarnvil-view and tarnvil-disc give on the same inputs, and a PNG
// and a JPEG taken in through the page's controls, and pictures chosen
// together onto one disc, must come out as files the command line
// reproduces. Every screen it draws smaller than 640 x 512 must show the
// light of the full-size one. The page may request nothing but its own
// files.
//
//   node --test web/tests/page.test.mjs
//
// Environment: TARNVIL_BUILD_DIR (default: build/ at the top of the
// checkout), CHROMIUM (default /usr/bin/chromium), TARNVIL_SCREENSHOT (also
// write the README's screenshot there). How fast the page is, bench/page.mjs
// measures.
import { after, before, describe, test } from "node:test";
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath, pathToFileURL } from "node:url";
import { deflateSync } from "node:zlib";

import { chromium } from "playwright-core";

import { decodePng } from "../../tests/emulator/png.mjs";
import { crc32 } from "../crc32.mjs";

const here = dirname(fileURLToPath(import.meta.url));
const root = resolve(here, "../..");
const buildDir = resolve(process.env.TARNVIL_BUILD_DIR || join(root, "build"));
const pageFile = join(buildDir, "web", "index.html");
const chromiumPath = process.env.CHROMIUM || "/usr/bin/chromium";
const program = (name) => join(buildDir, name);
const sunset = readFileSync(join(root, "samples", "sunset.ppm"));
const work = mkdtempSync(join(tmpdir(), "tarnvil-web-"));

for (const needed of [pageFile, program("tarnvil"), program("tarnvil-view"), program("tarnvil-disc"), chromiumPath]) {
    if (!existsSync(needed)) throw new Error(`${needed} is missing: build the programs and the page first`);
}

// ---- Inputs -------------------------------------------------------------

function ppm(width, height, { comment = null, maxValue = "255", pixel = (x, y) => [x * 7, y * 5, (x ^ y) * 3] } = {}) {
    const header = `P6\n${comment === null ? "" : `#${comment}\n`}${width} ${height}\n${maxValue}\n`;
    const body = Buffer.alloc(width * height * 3);
    for (let y = 0; y < height; ++y) {
        for (let x = 0; x < width; ++x) body.set(pixel(x, y).map((v) => v & 255), (y * width + x) * 3);
    }
    return Buffer.concat([Buffer.from(header, "latin1"), body]);
}

const sunsetPixels = sunset.subarray(sunset.length - 320 * 256 * 3);
const withoutComment = Buffer.concat([Buffer.from("P6\n320 256\n255\n"), sunsetPixels]);

// A deterministic byte sequence, for dumps that use every bit pattern.
function noise(length, seed) {
    const bytes = Buffer.alloc(length);
    let state = seed >>> 0;
    for (let i = 0; i < length; ++i) {
        state = (Math.imul(state, 1664525) + 1013904223) >>> 0;
        bytes[i] = state >>> 24;
    }
    return bytes;
}

const inputs = {
    sunset,
    "sunset, no comment": withoutComment,
    "samples cut short": sunset.subarray(0, 100000),
    "header cut before the height": Buffer.from("P6\n320"),
    "header cut after the height": Buffer.from("P6\n# cut\n320 256"),
    "no line feed after the maximum value": Buffer.from("P6\n4 4\n255"),
    "wrong magic P3": Buffer.from("P3\n2 2\n255\n0 0 0 0 0 0 0 0 0 0 0 0\n"),
    "P6 then a space": Buffer.concat([Buffer.from("P6 "), withoutComment.subarray(3)]),
    "empty file": Buffer.alloc(0),
    "comment to the end of the file": Buffer.from("P6\n# nothing after this"),
    "size line without two integers": Buffer.from("P6\n320 x\n255\n"),
    "size beyond 32 bits": Buffer.from("P6\n4294967296 1\n255\n"),
    "negative size": Buffer.from("P6\n-5 10\n255\n"),
    "maximum value 256": ppm(16, 16, { maxValue: "256" }),
    "maximum value 65535": ppm(16, 16, { maxValue: "65535" }),
    "maximum value 15": ppm(16, 16, { maxValue: "15", pixel: (x, y) => [x, y, 15 - x] }),
    "size 0 x 0": Buffer.from("P6\n0 0\n255\n"),
    "odd width 161 x 100": ppm(161, 100),
    "larger than the screen, 700 x 300": ppm(700, 300, { comment: " big" }),
    "comment with bytes outside space..z": ppm(8, 8, { comment: " tabs\there {curly} \x01\x7f\xe9 ~end" }),
    "comment longer than 4096 bytes": ppm(8, 8, { comment: "x".repeat(5000) }),
};

// Option blocks, each glued in front of the name.
const blocks = ["", "-0", "-1", "-2", "-4", "-5", "-a0", "-a1", "-a2", "-a4", "-a5", "-h02", "-hs4a0", "-h31", "-hs1a2",
    "-h25", "-hs0a4", "-3", "-h72", "-hs9a1", "-9", "--"];

const convertCases = [];
for (const block of blocks) convertCases.push({ label: `sunset ${block || "(no block)"}`, argument: `${block}sunset.ppm`, input: "sunset" });
for (const input of Object.keys(inputs).filter((name) => name !== "sunset")) {
    for (const block of ["-a2", "-0", "-hs3a5"]) convertCases.push({ label: `${input}, ${block}`, argument: `${block}pic.ppm`, input });
}
// Blocks cut short leave an empty name; odd names.
for (const argument of ["-", "-h", "-hs", "-hs4", "-hs4a", "-h1", "-a", "--help"]) {
    convertCases.push({ label: `argument ${argument}`, argument, input: "sunset" });
}
for (const [argument, label] of [["-2-x.ppm", "a name starting with -"], ["-a5sub/deeper/pic.ppm", "a name in folders"],
    ["-a1my picture.ppm", "a name with a space"], ["-a2café.ppm", "a name beyond ASCII"], ["-a2./dot.ppm", "a name from ./"],
    ["-a4up/../down/pic.ppm", "a name through .."], ["-a2pic.ppm/", "a name that can only be a folder"], ["-a2.", "the folder ."]]) {
    convertCases.push({ label, argument, input: "sunset" });
}

// Pictures in the formats tarnvil-fit reads, written here: a PNG of any
// colour type at 8 or 16 bits (PLTE and tRNS as given), a 24-bit BMP and a
// GIF of palette indices, its LZW codes each one pixel.
function png(width, height, colourType, depth, samples, { palette = null, transparency = null } = {}) {
    const chunk = (type, data) => {
        const body = Buffer.concat([Buffer.from(type, "latin1"), data]);
        const out = Buffer.alloc(body.length + 8);
        out.writeUInt32BE(data.length, 0);
        body.copy(out, 4);
        out.writeUInt32BE(crc32(body), body.length + 4);
        return out;
    };
    const header = Buffer.alloc(13);
    header.writeUInt32BE(width, 0);
    header.writeUInt32BE(height, 4);
    header.set([depth, colourType, 0, 0, 0], 8);
    const perRow = samples.length / height;
    const rows = Buffer.alloc(height * (1 + perRow * (depth / 8)));
    for (let y = 0, o = 0; y < height; ++y) {
        rows[o++] = 0;
        for (let i = 0; i < perRow; ++i, o += depth / 8) {
            const value = samples[y * perRow + i];
            if (depth === 16) rows.writeUInt16BE(value, o);
            else rows[o] = value;
        }
    }
    return Buffer.concat([Buffer.from("\x89PNG\r\n\x1a\n", "latin1"), chunk("IHDR", header),
        ...(palette ? [chunk("PLTE", palette)] : []), ...(transparency ? [chunk("tRNS", transparency)] : []),
        chunk("IDAT", deflateSync(rows)), chunk("IEND", Buffer.alloc(0))]);
}

function bmp(width, height, pixel) {
    const rowBytes = (width * 3 + 3) & ~3;
    const out = Buffer.alloc(54 + rowBytes * height);
    out.write("BM", 0, "latin1");
    out.writeUInt32LE(out.length, 2);
    out.writeUInt32LE(54, 10);
    out.writeUInt32LE(40, 14);
    out.writeInt32LE(width, 18);
    out.writeInt32LE(height, 22);
    out.writeUInt16LE(1, 26);
    out.writeUInt16LE(24, 28);
    for (let y = 0; y < height; ++y) {
        for (let x = 0; x < width; ++x) {
            const [r, g, b] = pixel(x, height - 1 - y);
            out.set([b, g, r], 54 + y * rowBytes + x * 3);
        }
    }
    return out;
}

function gif(width, height, palette, index, transparent) {
    const codes = [256];
    for (let i = 0; i < width * height; ++i) {
        if (i % 250 === 249) codes.push(256);
        codes.push(index(i % width, Math.floor(i / width)));
    }
    codes.push(257);
    const data = [];
    let bits = 0;
    let used = 0;
    for (const code of codes) {
        bits |= code << used;
        for (used += 9; used >= 8; used -= 8, bits >>>= 8) data.push(bits & 255);
    }
    if (used > 0) data.push(bits & 255);
    const blocks = [];
    for (let at = 0; at < data.length; at += 255) blocks.push(Math.min(255, data.length - at), ...data.slice(at, at + 255));
    const size = [width & 255, width >> 8, height & 255, height >> 8];
    return Buffer.from([...Buffer.from("GIF89a", "latin1"), ...size, 0xf7, 0, 0, ...palette,
        0x21, 0xf9, 4, 1, 0, 0, transparent, 0, 0x2c, 0, 0, 0, 0, ...size, 0, 8, ...blocks, 0, 0x3b]);
}

const fitInputs = (() => {
    const w = 97;
    const h = 61;
    const at = (f) => Array.from({ length: w * h }, (_, i) => f(i % w, Math.floor(i / w)));
    const rgb = (x, y) => [(x * 5 + y) & 255, (y * 4) & 255, (x ^ y) * 2 & 255];
    const palette = Buffer.from(Array.from({ length: 768 }, (_, i) => (i * 37) & 255));
    return {
        "sunset.png": png(320, 256, 2, 8, sunsetPixels),
        "rgba.png": png(w, h, 6, 8, at((x, y) => [...rgb(x, y), (x * 3) & 255]).flat()),
        "deep.png": png(w, h, 2, 16, at((x, y) => rgb(x, y).map((v) => Math.min(65535, v * 257 + x))).flat()),
        "palette.png": png(w, h, 3, 8, at((x, y) => (x + y) % 16), { palette: palette.subarray(0, 48), transparency: Buffer.from([0, 128]) }),
        "grey.png": png(w, h, 0, 8, at((x, y) => (x * y) & 255)),
        "picture.gif": gif(w, h, palette, (x, y) => (x * y) & 255, 3),
        "picture.bmp": bmp(w, h, rgb),
        "picture.ppm": ppm(w, h, { pixel: rgb }),
        "deep.pgm": Buffer.concat([Buffer.from(`P5\n${w} ${h}\n1000\n`), Buffer.from(at((x, y) => [(x * y) % 1000 >> 8, (x * y) % 1000 & 255]).flat())]),
        "unknown.png": Buffer.from("not a picture"),
    };
})();

// ---- The command-line programs ------------------------------------------

function freshDir(name) {
    const dir = join(work, name);
    rmSync(dir, { recursive: true, force: true });
    mkdirSync(dir, { recursive: true });
    return dir;
}

function run(dir, command, args) {
    const result = spawnSync(program(command), args, { cwd: dir, encoding: "buffer" });
    if (result.error) throw result.error;
    return { status: result.status, stdout: result.stdout, stderr: result.stderr.toString("utf8") };
}

// What `tarnvil ARGUMENT` prints and writes, with the file at `name`, the
// argument's file-name part as the page reports it.
function cliConvert(argument, bytes, name) {
    const dir = freshDir("convert");
    // The picture goes where the name leads, through every folder it passes
    // ("up" of "up/../pic.ppm" too). Where no file can be ("", "pic.ppm/",
    // "."), the file system refuses it, and what tarnvil finds there is
    // what the page must report.
    for (let at = name.indexOf("/"); at > 0 && at < name.length - 1; at = name.indexOf("/", at + 1)) {
        mkdirSync(join(dir, name.slice(0, at)), { recursive: true });
    }
    try {
        writeFileSync(join(dir, name), bytes);
    } catch (error) {
        if (!["EISDIR", "ENOTDIR", "ENOENT"].includes(error.code)) throw error;
    }
    const { stdout } = run(dir, "tarnvil", [argument]);
    const read = (path) => (name !== "" && existsSync(join(dir, path)) ? readFileSync(join(dir, path)) : null);
    return { console: stdout.toString("utf8"), dump: read(`${name}.bbc`), inf: read(`${name}.bbc.inf`) };
}

function cliPreview(mode, dump, palette) {
    const dir = freshDir("view");
    writeFileSync(join(dir, "dump"), dump);
    const colours = !palette ? [] : palette.includes(",") ? ["--nula-palette", palette] : ["-p", palette];
    const result = run(dir, "tarnvil-view", ["-m", String(mode), ...colours, "-o", "picture.png", "dump"]);
    // The pointer to --help means nothing on a page; the page leaves it out.
    if (result.status !== 0) return { error: result.stderr.replace(/^Try 'tarnvil-view --help' for more information\.\n/m, "").trimEnd() };
    return decodePng(readFileSync(join(dir, "picture.png")), "tarnvil-view's picture");
}

// tarnvil-disc --tracks T --title TITLE -m MODE1 NAME1 -m MODE2 NAME2 ...,
// each dump and sidecar written under its name (a name given twice goes
// into a folder of its own the second time).
function cliDisc({ title, tracks, pictures }) {
    const dir = freshDir("disc");
    const args = ["-o", "out.ssd"];
    if (tracks !== undefined) args.push(`--tracks=${tracks}`);
    if (title !== undefined) args.push(`--title=${title}`);
    const used = new Set();
    pictures.forEach((picture, i) => {
        let name = picture.name ?? `P${i + 1}`;
        if (used.has(name)) {
            mkdirSync(join(dir, `copy${i}`));
            name = `copy${i}/${name}`;
        }
        used.add(name);
        if (picture.dump) writeFileSync(join(dir, name), picture.dump);
        if (picture.inf !== null && picture.inf !== undefined) writeFileSync(join(dir, `${name}.inf`), picture.inf);
        const palette = !picture.palette ? [] : picture.palette.includes(",") ? ["--nula-palette", picture.palette]
            : ["-p", picture.palette];
        args.push("-m", String(picture.mode ?? 2), ...palette, name);
    });
    const result = run(dir, "tarnvil-disc", args);
    // The pointer to --help means nothing on a page; the page leaves it out.
    const error = result.stderr.replace(/^Try 'tarnvil-disc --help' for more information\.\n/m, "");
    return {
        status: result.status,
        ssd: existsSync(join(dir, "out.ssd")) ? readFileSync(join(dir, "out.ssd")) : null,
        error,
    };
}

// ---- The browser --------------------------------------------------------

let browser;
let context;
let page;
const requests = [];
const pageErrors = [];

async function openPage() {
    const opened = await context.newPage();
    opened.on("request", (request) => requests.push(request.url()));
    opened.on("pageerror", (error) => pageErrors.push(String(error)));
    await opened.goto(pathToFileURL(pageFile).href);
    await opened.waitForFunction(() => document.body.dataset.ready === "true", null, { timeout: 20000 });
    return opened;
}

before(async () => {
    browser = await chromium.launch({
        executablePath: chromiumPath,
        headless: true,
        args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
            "--disable-component-update", "--disable-sync", "--disable-extensions", "--no-default-browser-check"],
    });
    context = await browser.newContext({ acceptDownloads: true, viewport: { width: 1280, height: 1000 } });
    // Anything but the page's own files is refused outright, and counted.
    await context.route(/^(?!file:|data:|blob:)/, (route) => route.abort());
    page = await openPage();
    // The inputs live in the page, so each call hands over only a name.
    await page.evaluate((encoded) => {
        // Base64 in slices: one call per byte would overflow the stack.
        window.testBase64 = (bytes) => {
            if (!bytes) return null;
            let text = "";
            for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
            return btoa(text);
        };
        window.testInputs = {};
        for (const [name, base64] of Object.entries(encoded)) {
            window.testInputs[name] = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
        }
    }, Object.fromEntries(Object.entries(inputs).map(([name, bytes]) => [name, bytes.toString("base64")])));
});

after(async () => {
    await browser?.close();
    rmSync(work, { recursive: true, force: true });
});

const toBase64 = (bytes) => (bytes ? Buffer.from(bytes).toString("base64") : null);
const fromBase64 = (text) => (text === null ? null : Buffer.from(text, "base64"));

function assertSameBytes(actual, expected, what) {
    if (expected === null || actual === null) {
        assert.equal(actual === null ? null : `${actual.length} bytes`, expected === null ? null : `${expected.length} bytes`, what);
        return;
    }
    assert.equal(actual.length, expected.length, `${what}: length`);
    const at = actual.findIndex((byte, i) => byte !== expected[i]);
    assert.equal(at, -1, `${what}: first difference at byte ${at}`);
}

// RGBA from the page against tarnvil-view's RGB.
function assertSamePicture(rgba, expected, what) {
    assert.equal(rgba.length, expected.width * expected.height * 4, `${what}: size`);
    for (let i = 0, j = 0; j < expected.rgb.length; i += 4, j += 3) {
        if (rgba[i] !== expected.rgb[j] || rgba[i + 1] !== expected.rgb[j + 1] || rgba[i + 2] !== expected.rgb[j + 2] || rgba[i + 3] !== 255) {
            const pixel = j / 3;
            assert.fail(`${what}: pixel (${pixel % expected.width}, ${Math.floor(pixel / expected.width)}) is ` +
                `${[...rgba.subarray(i, i + 4)]}, tarnvil-view has ${[...expected.rgb.subarray(j, j + 3)]}`);
        }
    }
}

// ---- The script interface against the programs --------------------------

describe("tarnvil.fit gives tarnvil-fit's PPM and messages", () => {
    const optionSets = [{}, { mode: 1, aspect: true }, { mode: 0, fill: "fit", brightness: 20, gamma: 1.5 },
        { mode: 5, fill: "stretch", grey: true, background: "#336699", contrast: -30, saturation: 40 },
        { mode: 1, aspect: true, palette: "auto" }, { mode: 2, palette: "02143657" }, { mode: 4, palette: "62" },
        { dither: "diffuse" }, { mode: 1, aspect: true, tone: "plain", dither: "diffuse", palette: "auto" },
        { mode: 0, aspect: true, halftone: 0 }, { mode: 5, tone: "plain", halftone: 3, stagger: true, palette: "auto" }];
    const cases = Object.keys(fitInputs).flatMap((name) => optionSets.map((options) => ({ name, options })));
    let results;
    before(async () => {
        results = await page.evaluate(async ({ cases, inputs }) => {
            const out = [];
            for (const { name, options } of cases) {
                const result = await tarnvil.fit(Uint8Array.from(atob(inputs[name]), (c) => c.charCodeAt(0)), { ...options, name });
                out.push({ ...result, ppm: testBase64(result.ppm) });
            }
            return out;
        }, { cases, inputs: Object.fromEntries(Object.entries(fitInputs).map(([name, bytes]) => [name, bytes.toString("base64")])) });
    });
    cases.forEach(({ name, options }, i) => {
        test(`${name} ${JSON.stringify(options)}`, () => {
            const actual = results[i];
            // The options reach tarnvil-fit, each as its command line has it.
            const words = shellWords(actual.command);
            const given = Object.entries(options).map(([key, value]) => (value === true ? `--${key}` : `--${key}=${value}`));
            assert.deepEqual(words, ["tarnvil-fit", ...given, name]);
            const dir = freshDir("fit-script");
            writeFileSync(join(dir, name), fitInputs[name]);
            const expected = run(dir, "tarnvil-fit", words.slice(1));
            assert.equal(actual.console, expected.stdout.toString("utf8"));
            const named = actual.console.match(/ -p (\d+)\n/);
            assert.equal(actual.palette, named ? named[1] : null);
            assert.equal(actual.error, expected.status === 0 ? null : expected.stderr);
            const written = join(dir, name.replace(/\.[^.]*$/, ".ppm"));
            assertSameBytes(fromBase64(actual.ppm), expected.status === 0 ? readFileSync(written) : null, "the PPM");
        });
    });
});

describe("tarnvil.convert gives what tarnvil prints and writes", () => {
    let results;
    before(async () => {
        results = await page.evaluate(async (cases) => {
            const out = [];
            for (const { argument, input } of cases) {
                const result = await tarnvil.convert(argument, window.testInputs[input]);
                out.push({ console: result.console, dump: testBase64(result.dump), inf: testBase64(result.inf), name: result.name });
            }
            return out;
        }, convertCases.map(({ argument, input }) => ({ argument, input })));
    });
    convertCases.forEach(({ label, argument, input }, i) => {
        test(label, () => {
            const actual = results[i];
            const expected = cliConvert(argument, inputs[input], actual.name);
            assert.equal(actual.console, expected.console, `console of tarnvil ${argument}`);
            assertSameBytes(fromBase64(actual.dump), expected.dump, `${argument}: the dump`);
            assertSameBytes(fromBase64(actual.inf), expected.inf, `${argument}: the sidecar`);
        });
    });
    test("the table holds refusals and conversions alike", () => {
        assert.ok(results.some((result) => result.dump === null) && results.some((result) => result.dump !== null));
    });
});

describe("tarnvil.preview gives tarnvil-view's picture", () => {
    const cases = [];
    for (const mode of [0, 1, 2, 4, 5]) {
        const size = mode < 4 ? 20480 : 10240;
        cases.push({ label: `MODE ${mode}, every bit pattern`, mode, dump: noise(size, mode + 1) });
        cases.push({ label: `MODE ${mode}, the sunset`, mode, dump: cliConvert(`-a${mode}sunset.ppm`, sunset, "sunset.ppm").dump });
    }
    cases.push({ label: "a dump too short for its mode", mode: 2, dump: noise(100, 7) });
    cases.push({ label: "a MODE 4 dump said to be MODE 1", mode: 1, dump: noise(10240, 8) });
    cases.push({ label: "a dump too long for any mode", mode: 5, dump: noise(30000, 9) });
    cases.push({ label: "mode 3", mode: 3, dump: noise(20480, 10) });
    cases.push({ label: "mode \"22\"", mode: "22", dump: noise(20480, 11) });
    for (const [mode, palette] of [[0, "14"], [1, "0457"], [2, "76543210"], [5, "7777"], [2, "0123"]]) {
        cases.push({ label: `MODE ${mode} in the palette ${palette}`, mode, palette, dump: noise(mode < 4 ? 20480 : 10240, 20 + mode) });
    }

    for (const { label, mode, dump, palette } of cases) {
        test(label, async () => {
            const expected = cliPreview(mode, dump, palette);
            const actual = await page.evaluate(async ({ mode, dump, palette }) => {
                try {
                    const picture = await tarnvil.preview(mode, Uint8Array.from(atob(dump), (c) => c.charCodeAt(0)), palette);
                    return { width: picture.width, height: picture.height, rgba: testBase64(new Uint8Array(picture.rgba.buffer)) };
                } catch (error) {
                    return { error: error.message };
                }
            }, { mode, dump: dump.toString("base64"), palette });
            if (expected.error) {
                assert.equal(actual.error, expected.error);
                return;
            }
            assert.equal(actual.error, undefined);
            assert.deepEqual([actual.width, actual.height], [expected.width, expected.height]);
            assertSamePicture(Buffer.from(actual.rgba, "base64"), expected, label);
        });
    }
});

describe("tarnvil.disc gives tarnvil-disc's image or its refusal", () => {
    const mode2 = cliConvert("-a2sunset.ppm", sunset, "sunset.ppm");
    const mode5 = cliConvert("-a5sunset.ppm", sunset, "sunset.ppm");
    const mode0 = cliConvert("-hs4a0sunset.ppm", sunset, "sunset.ppm");
    const picture = (dump, mode, inf, name) => ({ mode, dump, inf, ...(name === undefined ? {} : { name }) });
    const cases = [
        { label: "palettes in three modes", pictures: [{ ...picture(mode2.dump, 2, mode2.inf), palette: "07162534" },
            { ...picture(mode5.dump, 5, null), palette: "0467" }, { ...picture(mode0.dump, 0, null), palette: "0137" }] },
        { label: "a palette of the wrong length", pictures: [{ ...picture(mode5.dump, 5, null), palette: "07" }] },
        { label: "one picture with its sidecar", pictures: [picture(mode2.dump, 2, mode2.inf, "sunset.ppm.bbc")] },
        { label: "mixed modes on 40 tracks, titled", title: "MIXED 40", tracks: 40,
            pictures: [picture(mode2.dump, 2, mode2.inf), picture(mode5.dump, 5, null), picture(mode0.dump, "0", mode0.inf)] },
        { label: "addresses from the sidecar", title: "", pictures: [picture(mode5.dump, 5, Buffer.from("$.PIC 1900 8023\r\n"), "pic")] },
        { label: "nine MODE 2 pictures fill 80 tracks", pictures: Array.from({ length: 9 }, () => picture(mode2.dump, 2, mode2.inf)) },
        { label: "ten MODE 2 pictures overfill 80 tracks", pictures: Array.from({ length: 10 }, () => picture(mode2.dump, 2, mode2.inf)) },
        { label: "five MODE 2 pictures overfill 40 tracks", tracks: "40", pictures: Array.from({ length: 5 }, () => picture(mode2.dump, 2, null)) },
        { label: "31 pictures", pictures: Array.from({ length: 31 }, () => picture(mode5.dump, 5, null)) },
        { label: "no picture", pictures: [] },
        { label: "a title of 13 characters", title: "THIRTEEN CHAR", pictures: [picture(mode2.dump, 2, null)] },
        { label: "a title beyond ASCII", title: "CAFÉ", pictures: [picture(mode2.dump, 2, null)] },
        { label: "60 tracks", tracks: 60, pictures: [picture(mode2.dump, 2, null)] },
        { label: "mode 3", pictures: [picture(mode2.dump, 2, null), picture(mode2.dump, 3, null)] },
        { label: "60 tracks and mode 3: the first mistake", tracks: 60, pictures: [picture(mode2.dump, 3, null)] },
        { label: "dumps of the wrong size, named",
            pictures: [picture(mode2.dump, 5, null, "big.bbc"), picture(mode5.dump, 1, null, "small.bbc"), picture(noise(5000, 3), 4, null, "odd.bbc")] },
        { label: "a sidecar that is no INF line", pictures: [picture(mode2.dump, 2, Buffer.from("garbage\n"))] },
        { label: "a sidecar of more than 256 bytes", pictures: [picture(mode2.dump, 2, Buffer.from(`$.A 3000 0 ${"x".repeat(400)}\n`))] },
        { label: "an INF line of 260 bytes", pictures: [picture(mode2.dump, 2, Buffer.from(`$.${"N".repeat(250)} 3000 1234`))] },
        { label: "a sidecar of more than 4096 bytes", pictures: [picture(mode2.dump, 2, Buffer.from(`$.A 3000 0\n${" ".repeat(4090)}`))] },
        { label: "an address the catalogue cannot hold", pictures: [picture(mode2.dump, 2, Buffer.from("$.SCREEN 00043000 0\n"))] },
        { label: "a load address beside the screen: a warning", pictures: [picture(mode2.dump, 2, Buffer.from("$.SCREEN 5800 0\n"))] },
        { label: "a MODE 7 page and a VideoNuLA's colours",
            pictures: [picture(noise(1000, 7), 7, null), { ...picture(mode5.dump, 5, null), palette: "012,FED,7A0,0F0" }] },
        { label: "a missing dump", pictures: [picture(mode2.dump, 2, null, "here.bbc"), picture(null, 2, null, "gone.bbc")] },
    ];
    for (const request of cases) {
        test(request.label, async () => {
            const expected = cliDisc(request);
            const actual = await page.evaluate(async (encoded) => {
                const bytes = (text) => (text === null ? null : Uint8Array.from(atob(text), (c) => c.charCodeAt(0)));
                const result = await tarnvil.disc({
                    ...encoded,
                    pictures: encoded.pictures.map((p) => ({ ...p, dump: bytes(p.dump), inf: bytes(p.inf) })),
                });
                return { ssd: testBase64(result.ssd), error: result.error, warning: result.warning };
            }, { ...request, pictures: request.pictures.map((p) => ({ ...p, dump: toBase64(p.dump), inf: toBase64(p.inf) })) });
            if (expected.status === 0) {
                assert.equal(actual.error, null);
                assert.equal(actual.warning ?? "", expected.error, "the warnings");
                assertSameBytes(fromBase64(actual.ssd), expected.ssd, "the disc image");
            } else {
                assert.equal(expected.ssd, null, "tarnvil-disc wrote nothing");
                assert.equal(actual.ssd, null, "no image from the page");
                assert.equal(actual.error, expected.error);
            }
        });
    }
});

// ---- The page's controls ------------------------------------------------

// The dither radio buttons' labels: each choice's name and what it does,
// as tarnvil-fit's --help says it.
const DIFFUSE = "diffuse: tarnvil-fit chooses them, by error diffusion at the mode's own pixels, and tarnvil passes them " +
    "through (no halftone, no aspect correction)";
const ORDERED = "ordered: tarnvil's halftone chooses the dots";

// The sample as a PNG or JPEG, encoded by the browser's own canvas.
async function encodeSample(type) {
    const base64 = await page.evaluate(async (type) => {
        const ppm = testInputs["sunset, no comment"];
        const pixels = ppm.subarray(ppm.length - 320 * 256 * 3);
        const rgba = new Uint8ClampedArray(320 * 256 * 4);
        for (let i = 0, j = 0; j < pixels.length; i += 4, j += 3) rgba.set([pixels[j], pixels[j + 1], pixels[j + 2], 255], i);
        const canvas = new OffscreenCanvas(320, 256);
        canvas.getContext("2d").putImageData(new ImageData(rgba, 320, 256), 0, 0);
        const blob = await canvas.convertToBlob({ type, quality: 0.9 });
        return testBase64(new Uint8Array(await blob.arrayBuffer()));
    }, type);
    return Buffer.from(base64, "base64");
}

// Waits until the page has shown the screen and the strip for `command`.
async function settled(command) {
    await page.waitForFunction(
        (command) => !document.body.dataset.busy && document.getElementById("command").textContent === command &&
            document.getElementById("console").textContent.endsWith("completed.\n"),
        command,
        { timeout: 20000 },
    );
}

async function save(buttonId) {
    const [download] = await Promise.all([page.waitForEvent("download"), page.click(`#${buttonId}`)]);
    const path = join(freshDir(`download-${buttonId}`), "file");
    await download.saveAs(path);
    return { name: download.suggestedFilename(), bytes: readFileSync(path) };
}

async function screenPixels(selector = "#screen") {
    const base64 = await page.evaluate((selector) => {
        const canvas = document.querySelector(selector);
        return testBase64(new Uint8Array(canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data.buffer));
    }, selector);
    return Buffer.from(base64, "base64");
}

// The files the page offers, against the command line run on the PPM it
// offers with the argument it shows.
// The words of a command line as a POSIX shell splits them: the shell
// itself reads it back.
function shellWords(command) {
    const split = spawnSync("sh", ["-c", 'eval "set -- $1"; printf "%s\\0" "$@"', "sh", command], { encoding: "utf8" });
    assert.equal(split.status, 0, split.stderr);
    return split.stdout.split("\0").slice(0, -1);
}

// The command line the page shows for tarnvil-fit, run on the picture
// under its name: what it prints, and the PPM it writes as `name`.
function cliFit(command, pictureName, pictureBytes, name) {
    const dir = freshDir("fit");
    writeFileSync(join(dir, pictureName), pictureBytes);
    const words = shellWords(command);
    assert.equal(words[0], "tarnvil-fit");
    const result = run(dir, "tarnvil-fit", words.slice(1));
    assert.equal(result.status, 0, result.stderr);
    return { console: result.stdout.toString("utf8"), ppm: readFileSync(join(dir, name)) };
}

// The files the page offers, against the command line run on the picture
// with the tarnvil-fit command it shows and on the PPM it offers with the
// tarnvil argument it shows. A picture the browser decodes (a JPEG) may
// differ from tarnvil-fit's in its samples, never in anything else.
async function checkDownloads(argument, name, mode, picture, palette) {
    const dump = await save("save-dump");
    const inf = await save("save-inf");
    const ppm = await save("save-ppm");
    assert.deepEqual([dump.name, inf.name, ppm.name], [`${name}.bbc`, `${name}.bbc.inf`, name]);
    const fitted = cliFit(await page.textContent("#fit-command"), picture.name, picture.bytes, name);
    if (picture.exact) assertSameBytes(ppm.bytes, fitted.ppm, "the downloaded PPM against tarnvil-fit's");
    const expected = cliConvert(argument, ppm.bytes, name);
    assertSameBytes(dump.bytes, expected.dump, "the downloaded dump");
    assertSameBytes(inf.bytes, expected.inf, "the downloaded sidecar");
    assert.equal(await page.textContent("#console"), fitted.console + expected.console.toString());
    assertSamePicture(await screenPixels(), cliPreview(mode, dump.bytes, palette), "the screen on the page");
    return { dump: dump.bytes, inf: inf.bytes, ppm: ppm.bytes };
}

describe("the page's controls", () => {
    const saved = {};

    test("a PNG picked with the file input converts and downloads", async () => {
        const png = await encodeSample("image/png");
        await page.setInputFiles("#file", { name: "sunset.png", mimeType: "image/png", buffer: png });
        await settled("tarnvil -a2sunset.ppm");
        saved.png = await checkDownloads("-a2sunset.ppm", "sunset.ppm", 2, { name: "sunset.png", bytes: png, exact: true });
        saved.pngBytes = png;
        // In plain samples a PNG at the source size is taken over pixel for
        // pixel, so the page's PPM is the sample's.
        for (const [tone, label] of [["plain", "plain: the picture's own samples"], ["light", "light: samples with which the screen gives the picture's light"]]) {
            await page.getByLabel(label, { exact: true }).check();
            await page.waitForFunction((plain) => document.getElementById("fit-command").textContent.includes("--tone=plain") === plain,
                tone === "plain");
            await settled("tarnvil -a2sunset.ppm");
            if (tone === "plain") assertSameBytes((await save("save-ppm")).bytes, withoutComment, "the plain PPM of a 320 x 256 PNG");
        }
        if (process.env.TARNVIL_SCREENSHOT) {
            await page.setViewportSize({ width: 1200, height: 900 });
            await page.evaluate(() => window.scrollTo(0, 0));
            await page.screenshot({ path: process.env.TARNVIL_SCREENSHOT, fullPage: true });
            await page.setViewportSize({ width: 1280, height: 1000 });
        }
    });

    test("each halftone tile shows the picture prepared for that halftone and selects it by keyboard", async () => {
        // Without a halftone the light-true samples differ from those of the
        // others. Each tile is tarnvil-view's screen at the tile's size, as
        // the core scales it.
        for (const [halftone, stagger, block] of [[0, false, "-h0a2"], [3, true, "-hs3a2"]]) {
            const fitted = cliFit(`tarnvil-fit --mode=2 --aspect --halftone=${halftone}${stagger ? " --stagger" : ""} -o sunset.ppm sunset.png`,
                "sunset.png", saved.pngBytes, "sunset.ppm");
            const expected = cliPreview(2, cliConvert(`${block}sunset.ppm`, fitted.ppm, "sunset.ppm").dump);
            const tile = page.locator(`#strip button[data-halftone="${halftone}"][data-stagger="${stagger}"]`);
            const { shown, scaled } = await tile.evaluate(async (button, rgb) => {
                const canvas = button.querySelector("canvas");
                const pixels = Uint8Array.from(atob(rgb), (c) => c.charCodeAt(0));
                const rgba = new Uint8ClampedArray(640 * 512 * 4);
                for (let i = 0, j = 0; j < pixels.length; i += 4, j += 3) rgba.set([pixels[j], pixels[j + 1], pixels[j + 2], 255], i);
                const scaled = await tarnvil.scale({ width: 640, height: 512, rgba }, canvas.width, canvas.height);
                const context = canvas.getContext("2d");
                return { shown: testBase64(new Uint8Array(context.getImageData(0, 0, canvas.width, canvas.height).data.buffer)),
                    scaled: testBase64(new Uint8Array(scaled.rgba.buffer)) };
            }, Buffer.from(expected.rgb).toString("base64"));
            assertSameBytes(Buffer.from(shown, "base64"), Buffer.from(scaled, "base64"), `the tile of halftone ${halftone}`);
        }
        const tile = page.locator('#strip button[data-halftone="3"][data-stagger="true"]');
        await tile.focus();
        await page.keyboard.press("Enter");
        await settled("tarnvil -hs3a2sunset.ppm");
        assert.equal(await page.inputValue("#halftone"), "3");
        assert.equal(await tile.getAttribute("aria-pressed"), "true");
    });

    test("a JPEG dropped on the page converts and downloads with other options", async () => {
        const jpeg = await encodeSample("image/jpeg");
        const transfer = await page.evaluateHandle((base64) => {
            const transfer = new DataTransfer();
            const bytes = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
            transfer.items.add(new File([bytes], "holiday.jpg", { type: "image/jpeg" }));
            return transfer;
        }, jpeg.toString("base64"));
        await page.dispatchEvent("#drop", "drop", { dataTransfer: transfer });
        await settled("tarnvil -hs3a2holiday.ppm");
        await page.getByLabel("MODE", { exact: true }).selectOption("5");
        await page.getByLabel("Halftoning", { exact: true }).selectOption("4");
        await page.getByLabel("Stagger red, green and blue", { exact: true }).uncheck();
        await page.getByLabel("Aspect correction", { exact: true }).uncheck();
        await page.getByLabel("fit: fit inside, with black bars", { exact: true }).check();
        await settled("tarnvil -h45holiday.ppm");
        saved.jpeg = await checkDownloads("-h45holiday.ppm", "holiday.ppm", 5, { name: "holiday.jpg", bytes: jpeg, exact: false });
        assert.equal(saved.jpeg.ppm.subarray(0, 15).toString("latin1"), "P6\n160 256\n255\n");
        assert.equal(saved.jpeg.ppm.length, 15 + 160 * 256 * 3);
    });

    test("a disc of both pictures is tarnvil-disc's", async () => {
        await page.click("#disc-add");
        await page.getByLabel("MODE", { exact: true }).selectOption("2");
        await settled("tarnvil -h42holiday.ppm");
        // Light-true samples are made for the mode's colours: MODE 2 has a
        // PPM of its own.
        saved.mode2 = (await save("save-ppm")).bytes;
        await page.click("#disc-add");
        await page.getByLabel("Disc title", { exact: true }).fill("HOLIDAY");
        await page.getByLabel("Tracks", { exact: true }).selectOption("40");
        const disc = await save("save-disc");
        const second = cliConvert("-h42holiday.ppm", saved.mode2, "holiday.ppm");
        const expected = cliDisc({ title: "HOLIDAY", tracks: 40, pictures: [
            { name: "holiday.ppm.bbc", mode: 5, dump: saved.jpeg.dump, inf: saved.jpeg.inf },
            { name: "second.bbc", mode: 2, dump: second.dump, inf: second.inf }] });
        assert.equal(disc.name, "HOLIDAY.ssd");
        assertSameBytes(disc.bytes, expected.ssd, "the downloaded disc");
        assert.equal(await page.textContent("#disc-message"), "");
    });

    test("an overfull disc is refused with tarnvil-disc's message and nothing downloads", async () => {
        // 40 tracks hold 400 sectors: the catalogue, !BOOT, the unpacker,
        // the MODE 5 picture and as many packed MODE 2 ones as it takes.
        for (let i = 0; i < 4; ++i) await page.click("#disc-add");
        const mode2 = cliConvert("-h42holiday.ppm", saved.mode2, "holiday.ppm");
        const disc = (count) => cliDisc({ title: "HOLIDAY", tracks: 40, pictures: [
            { name: "holiday.ppm.bbc", mode: 5, dump: saved.jpeg.dump, inf: saved.jpeg.inf },
            ...Array.from({ length: count - 1 }, () => ({ name: "holiday.ppm.bbc", mode: 2, dump: mode2.dump, inf: mode2.inf }))] });
        let pictures = 6;
        let expected = disc(pictures);
        for (; expected.error === "" && pictures < 250; expected = disc(++pictures)) await page.click("#disc-add");
        assert.equal(await page.locator("#disc-list li").count(), pictures);
        assert.match(expected.error, new RegExp(`^tarnvil-disc: the pictures need \\d+ sectors, but a 40-track disc has 400; nothing written\ntarnvil-disc: the first ${pictures - 1} of the ${pictures} fit\n$`));
        let downloads = 0;
        const count = () => ++downloads;
        page.on("download", count);
        await page.click("#save-disc");
        await page.waitForFunction(() => document.getElementById("disc-message").textContent !== "");
        await page.waitForTimeout(500);
        page.off("download", count);
        assert.equal(await page.textContent("#disc-message"), expected.error);
        assert.equal(downloads, 0);
        // Taking one picture off (by keyboard) makes it fit again.
        await page.locator("#disc-list li button").last().focus();
        await page.keyboard.press("Enter");
        assert.equal(await page.locator("#disc-list li").count(), pictures - 1);
        const saved40 = await save("save-disc");
        assert.equal(saved40.bytes.length, 102400);
        assertSameBytes(saved40.bytes, disc(pictures - 1).ssd, "the disc that fits");
    });

    test("a palette, chosen or found, reaches the commands and the screen", async () => {
        await page.getByLabel("MODE", { exact: true }).selectOption("1");
        await page.getByLabel("Logical 1", { exact: true }).selectOption("4");
        await page.getByLabel("Logical 2", { exact: true }).selectOption("6");
        await settled("tarnvil -h41holiday.ppm");
        await page.waitForFunction(() => document.getElementById("view-command").textContent.includes("-p 0467"));
        assert.match(await page.textContent("#fit-command"), /--palette=0467 holiday\.jpg$/);
        const chosen = await save("save-dump");
        assertSamePicture(await screenPixels(), cliPreview(1, chosen.bytes, "0467"), "the screen in 0467");
        // Best for this picture: tarnvil-fit's choice, shown in the controls.
        await page.getByLabel("Best for this picture", { exact: true }).check();
        await page.waitForFunction(() => document.getElementById("fit-command").textContent.includes("--palette=auto"));
        await settled("tarnvil -h41holiday.ppm");
        const found = (await page.textContent("#console")).match(/-p (\d{4})\n/)[1];
        assert.equal(await page.textContent("#view-command"), `tarnvil-view -m 1${found === "0137" ? "" : ` -p ${found}`} holiday.ppm.bbc`);
        assert.equal(await page.inputValue("#palette-2"), found[2]);
        const best = await save("save-dump");
        assertSamePicture(await screenPixels(), cliPreview(1, best.bytes, found), "the screen in the palette found");
        await page.getByLabel("Best for this picture", { exact: true }).uncheck();
        // Diffused, any four colours: black, red, blue and white, which
        // tarnvil's matching alone does not reach.
        const choose = async (digits) => {
            for (const [logical, digit] of [...digits].entries())
                await page.getByLabel(`Logical ${logical}`, { exact: true }).selectOption(digit);
        };
        await page.getByLabel(DIFFUSE, { exact: true }).check();
        await choose("0147");
        await settled("tarnvil -h01holiday.ppm");
        await page.waitForFunction(() => document.getElementById("view-command").textContent.includes("-p 0147"));
        assert.match(await page.textContent("#fit-command"), /--palette=0147 holiday\.jpg$/);
        const diffused = await save("save-dump");
        assertSamePicture(await screenPixels(), cliPreview(1, diffused.bytes, "0147"), "the diffused screen in 0147");
        // A VideoNuLA's colours, chosen for the picture: the commands carry
        // them, and the screen shows them as the NuLA does.
        await page.getByLabel("Colours for a VideoNuLA, chosen for this picture", { exact: true }).check();
        await page.waitForFunction(() => document.getElementById("view-command").textContent.includes("--nula-palette"));
        await settled("tarnvil -h01holiday.ppm");
        assert.match(await page.textContent("#fit-command"), /--nula holiday\.jpg$/);
        const nula = (await page.textContent("#view-command")).match(/--nula-palette ([0-9A-F,]+) /)[1];
        const nulaDump = await save("save-dump");
        assertSamePicture(await screenPixels(), cliPreview(1, nulaDump.bytes, nula), "the screen in a VideoNuLA's colours");
        await page.getByLabel("Colours for a VideoNuLA, chosen for this picture", { exact: true }).uncheck();
        await choose("0137");
        await page.getByLabel(ORDERED, { exact: true }).check();
        await settled("tarnvil -h41holiday.ppm");
    });

    test("a MODE 7 page is tarnvil-fit's, with its sidecar, and shows as tarnvil-view draws it", async () => {
        await page.getByLabel("MODE", { exact: true }).selectOption("7");
        await page.waitForFunction(() => !document.body.dataset.busy &&
            document.getElementById("view-command").textContent === "tarnvil-view -m 7 holiday.bbc");
        assert.deepEqual([await page.textContent("#command"), await page.isHidden("#palette-set"), await page.isHidden("#strip")],
            ["", true, true]);
        const dump = await save("save-dump");
        const inf = await save("save-inf");
        assert.deepEqual([dump.name, inf.name, dump.bytes.length, inf.bytes.toString()],
            ["holiday.bbc", "holiday.bbc.inf", 1000, "$.SCREEN 007c00 000000\n"]);
        assert.match(await page.textContent("#fit-command"), /^tarnvil-fit --mode=7 --fill=fit holiday\.jpg$/);
        assertSamePicture(await screenPixels(), cliPreview(7, dump.bytes), "the MODE 7 page on the page");
    });

    test("option changes through the controls redraw the screen and the strip", async () => {
        for (let i = 0; i < 20; ++i) {
            const mode = ["0", "1", "2", "4", "5"][i % 5];
            const halftone = String(Math.floor(i / 5) % 5);
            await page.getByLabel("MODE", { exact: true }).selectOption(mode);
            await page.getByLabel("Halftoning", { exact: true }).selectOption(halftone);
            await settled(`tarnvil -${halftone === "1" ? "" : `h${halftone}`}${mode}holiday.ppm`);
        }
        assert.equal(await page.inputValue("#mode"), "5");
    });

    test("pictures chosen together go on a disc as the one command shown makes it", async () => {
        const pictures = { "my holiday.png": fitInputs["palette.png"], "picture.gif": fitInputs["picture.gif"],
            "Zo\u00EB.bmp": fitInputs["picture.bmp"] };
        await page.setViewportSize({ width: 390, height: 844 });
        await page.evaluate(() => window.scrollTo(0, 0));
        await page.setInputFiles("#file", Object.entries(pictures).map(([name, buffer]) => ({ name, mimeType: "image/x", buffer })));
        // On a phone, below every control, the screen comes into view once
        // drawn; each number of the list stands before its name, clear of
        // the name before it.
        await page.waitForFunction(() => {
            const box = document.getElementById("screen").getBoundingClientRect();
            return window.scrollY > 0 && box.top >= 0 && box.bottom <= window.innerHeight;
        });
        const room = await page.$$eval("#chosen-list li", (items) =>
            items.map((item) => item.querySelector("button").getBoundingClientRect().left - item.getBoundingClientRect().left));
        assert.ok(room.length === 3 && room.every((pixels) => pixels >= 10), `room for the numbers: ${room}`);
        await page.setViewportSize({ width: 1280, height: 1000 });
        await page.getByLabel("Stagger red, green and blue", { exact: true }).check();
        await page.getByLabel("Grey (suits 2- and 4-colour modes)", { exact: true }).check();
        await page.getByLabel("Best for this picture", { exact: true }).check();
        await settled('tarnvil "-hs35my holiday.ppm"');
        // Showing another of them changes the screen, not the disc.
        await page.getByRole("button", { name: "picture.gif", exact: true }).click();
        await settled("tarnvil -hs35picture.ppm");
        const checkDisc = async (options, file = "HOLIDAY.ssd", disc = "") => {
            const command = `tarnvil-disc -m 5 -p auto --fill fit --grey ${options} --tracks 40 -o ${file} ` +
                `--title HOLIDAY${disc} "my holiday.png" picture.gif "Zo\u00EB.bmp"`;
            await page.waitForFunction((command) => document.getElementById("disc-command").textContent === command, command);
            const saved = await save("save-picture-disc");
            const dir = freshDir("picture-disc");
            for (const [name, bytes] of Object.entries(pictures)) writeFileSync(join(dir, name), bytes);
            const expected = run(dir, "tarnvil-disc", shellWords(command).slice(1));
            assert.equal(expected.status, 0, expected.stderr);
            assert.equal(saved.name, file);
            assertSameBytes(saved.bytes, readFileSync(join(dir, file)), `the disc of the chosen pictures, ${options}${disc}`);
            assert.equal(await page.textContent("#disc-message"), expected.stderr);
            // What it holds, in tarnvil-disc's words.
            const holds = expected.stdout.toString("utf8").match(/^(.* holds .*)$/m)[1];
            assert.equal(await page.textContent("#disc-saved"), `Downloaded ${file}. ${holds}. Boot it with SHIFT+BREAK.`);
        };
        await checkDisc("--halftone 3 --stagger");
        // Error diffusion: tarnvil-fit's dots, converted without a halftone,
        // on the screen, in the files and on the disc; no halftones to show.
        await page.getByLabel(DIFFUSE, { exact: true }).check();
        await settled("tarnvil -h05picture.ppm");
        assert.deepEqual([await page.isDisabled("#halftone"), await page.isHidden("#strip"), await page.isVisible("#strip-note")],
            [true, true, true]);
        const found = (await page.textContent("#console")).match(/-p (\d{4})\n/)[1];
        await checkDownloads("-h05picture.ppm", "picture.ppm", 5, { name: "picture.gif", bytes: pictures["picture.gif"], exact: true }, found);
        await checkDisc("--dither diffuse");
        // Both sides, and a slideshow.
        await page.getByLabel("Sides", { exact: true }).selectOption("dsd");
        await page.getByLabel("Slideshow: seconds a picture (empty: until a key)", { exact: true }).fill("5");
        await page.getByLabel("Slideshow: seconds a picture (empty: until a key)", { exact: true }).dispatchEvent("change");
        await checkDisc("--dither diffuse", "HOLIDAY.dsd", " --seconds 5");
        await page.getByLabel("Sides", { exact: true }).selectOption("ssd");
        await page.getByLabel("Slideshow: seconds a picture (empty: until a key)", { exact: true }).fill("");
    });

    test("the screen and every tile show the light of the full-size screen, on a phone and a desktop", async (t) => {
        const grey = ppm(320, 256, { pixel: () => [128, 128, 128] });
        await page.setInputFiles("#file", { name: "grey.ppm", mimeType: "image/x-portable-pixmap", buffer: grey });
        await page.getByLabel(ORDERED, { exact: true }).check();
        await page.getByLabel("Best for this picture", { exact: true }).uncheck();
        await page.getByLabel("Grey (suits 2- and 4-colour modes)", { exact: true }).uncheck();
        await page.getByLabel("crop: fill the screen and crop the centre", { exact: true }).check();
        await page.getByLabel("MODE", { exact: true }).selectOption("2");
        await page.getByLabel("Halftoning", { exact: true }).selectOption("3");
        await page.getByLabel("Stagger red, green and blue", { exact: true }).check();
        await page.getByLabel("Aspect correction", { exact: true }).check();
        await settled("tarnvil -hs3a2grey.fit.ppm");
        // The share of white's light in RGB or RGBA samples.
        const meanLight = (bytes, channels) => {
            let sum = 0;
            for (let i = 0; i < bytes.length; ++i) {
                const v = bytes[i] / 255;
                if (i % channels < 3) sum += v <= 0.04045 ? v / 12.92 : ((v + 0.055) / 1.055) ** 2.4;
            }
            return (sum / bytes.length) * (channels / 3);
        };
        const labels = { light: "light: samples with which the screen gives the picture's light", plain: "plain: the picture's own samples" };
        for (const tone of ["plain", "light"]) {
            // Each halftone's full-size screen, from the command line.
            const full = {};
            for (const halftone of [0, 1, 2, 3, 4]) {
                for (const stagger of ["", "s"]) {
                    const fitted = cliFit(`tarnvil-fit --mode=2 --aspect --tone=${tone} --halftone=${halftone}${stagger && " --stagger"} ` +
                        "-o grey.fit.ppm grey.ppm", "grey.ppm", grey, "grey.fit.ppm");
                    const dump = cliConvert(`-h${stagger}${halftone}a2grey.fit.ppm`, fitted.ppm, "grey.fit.ppm").dump;
                    full[`${halftone}${stagger}`] = meanLight(cliPreview(2, dump).rgb, 3);
                }
            }
            await page.getByLabel(labels[tone], { exact: true }).check();
            await page.waitForFunction((plain) => document.getElementById("fit-command").textContent.includes("--tone=plain") === plain,
                tone === "plain");
            for (const width of [390, 1280]) {
                await page.setViewportSize({ width, height: 900 });
                await settled("tarnvil -hs3a2grey.fit.ppm");
                // Every canvas holds as many pixels as it covers on the
                // screen, so what it holds is what shows.
                await page.waitForFunction(() => !document.body.dataset.painting && [...document.querySelectorAll("canvas")].every((canvas) => {
                    const box = canvas.getBoundingClientRect();
                    return Math.abs(canvas.width - box.width * devicePixelRatio) <= 1 && Math.abs(canvas.height - box.height * devicePixelRatio) <= 1;
                }));
                const shown = await page.evaluate(() => [...document.querySelectorAll("canvas")].map((canvas) => ({
                    halftone: `${canvas.closest(".tile")?.dataset.halftone ?? 3}${canvas.closest(".tile")?.dataset.stagger === "false" ? "" : "s"}`,
                    size: `${canvas.width} x ${canvas.height}`,
                    rgba: testBase64(new Uint8Array(canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data.buffer)),
                })));
                assert.equal(shown.length, 11);
                for (const { halftone, size, rgba } of shown) {
                    const light = meanLight(Buffer.from(rgba, "base64"), 4);
                    t.diagnostic(`${width} px, ${tone}, halftone ${halftone} at ${size}: ${light.toFixed(4)}, full size ${full[halftone].toFixed(4)}`);
                    assert.ok(Math.abs(light - full[halftone]) <= 0.02, `${tone}, halftone ${halftone} at ${size}: ${light} against ${full[halftone]}`);
                }
            }
        }
        await page.setViewportSize({ width: 1280, height: 1000 });
    });

    test("every control has a label, and the page fits 360 pixels across", async () => {
        const unlabelled = await page.evaluate(() =>
            [...document.querySelectorAll("input, select, button, textarea")]
                .filter((control) => !(control.labels?.length || control.getAttribute("aria-label") || control.textContent.trim()))
                .map((control) => control.outerHTML));
        assert.deepEqual(unlabelled, []);
        await page.setViewportSize({ width: 360, height: 800 });
        const width = await page.evaluate(() => document.documentElement.scrollWidth);
        await page.setViewportSize({ width: 1280, height: 1000 });
        assert.ok(width <= 360, `the page is ${width} pixels wide at 360`);
    });

});

// ---- Last: what the page asked for --------------------------------------

test("the page requested nothing but its own files and raised no error", () => {
    const foreign = requests.filter((url) => !/^(file|data|blob):/.test(url));
    assert.deepEqual(foreign, []);
    assert.ok(requests.some((url) => url.endsWith("/tarnvil-wasm.js")), "the requests were seen");
    assert.deepEqual(pageErrors, []);
});
