// Times the web page in Debian's Chromium, headless, opened from file:// as
// built by `cmake --build build --target web`, with the browser tests' tools
// ((cd web/tests && npm ci)):
//
//   node bench/page.mjs [BUILD_DIR]       (default: build/ at the top)
//
// Prints medians and worst cases in milliseconds: a conversion and its
// preview drawn on a canvas (what one option change costs), the strip of
// ten, and the page's own redraws (performance.measure "tarnvil screen" and
// "tarnvil strip") while its controls are changed. With TARNVIL_JPEG=FILE,
// also how long that picture takes from chosen to shown, screen and strip
// ("tarnvil picture"), five times. TARNVIL_TIMINGS=FILE writes them as JSON
// too.
import { createRequire } from "node:module";
import { readFileSync, writeFileSync } from "node:fs";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath, pathToFileURL } from "node:url";

const root = resolve(dirname(fileURLToPath(import.meta.url)), "..");
const { chromium } = createRequire(join(root, "web/tests/package.json"))("playwright-core");
const build = resolve(process.argv[2] || join(root, "build"));
const sunset = readFileSync(join(root, "samples/sunset.ppm"));

const browser = await chromium.launch({
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    headless: true,
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
        "--disable-component-update", "--disable-sync", "--disable-extensions", "--no-default-browser-check"],
});
try {
    const page = await browser.newPage({ viewport: { width: 1280, height: 1000 } });
    await page.goto(pathToFileURL(join(build, "web/index.html")).href);
    await page.waitForFunction(() => document.body.dataset.ready === "true");

    // The script interface: the sample, every mode and halftone.
    const calls = await page.evaluate(async (base64) => {
        const ppm = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
        const context = () => {
            const canvas = document.createElement("canvas");
            canvas.width = 640;
            canvas.height = 512;
            return canvas.getContext("2d");
        };
        const target = context();
        const tiles = Array.from({ length: 10 }, context);
        const show = async (block, mode, into) => {
            const result = await tarnvil.convert(`${block}sunset.ppm`, ppm);
            const picture = await tarnvil.preview(mode, result.dump);
            into.putImageData(new ImageData(picture.rgba, picture.width, picture.height), 0, 0);
        };
        const modes = [0, 1, 2, 4, 5];
        const screen = [];
        for (let i = 0; i < 60; ++i) {
            const mode = modes[i % 5];
            const start = performance.now();
            await show(`-h${i % 2 ? "s" : ""}${Math.floor(i / 5) % 5}a${mode}`, mode, target);
            screen.push(performance.now() - start);
        }
        const strip = [];
        for (let round = 0; round < 10; ++round) {
            const mode = modes[round % 5];
            const start = performance.now();
            for (let i = 0; i < 10; ++i) await show(`-h${i >= 5 ? "s" : ""}${i % 5}a${mode}`, mode, tiles[i]);
            strip.push(performance.now() - start);
        }
        return { screen, strip };
    }, sunset.toString("base64"));

    // The page's own controls: the sample as a picture, then 20 changes.
    await page.setInputFiles("#file", { name: "sunset.ppm", mimeType: "image/x-portable-pixmap", buffer: sunset });
    const settled = () => page.waitForFunction(() => !document.body.dataset.busy &&
        document.getElementById("console").textContent.endsWith("completed.\n"));
    await settled();
    for (let i = 0; i < 20; ++i) {
        await page.selectOption("#mode", ["0", "1", "2", "4", "5"][i % 5]);
        await page.selectOption("#halftone", String(Math.floor(i / 5) % 5));
        await settled();
    }
    if (process.env.TARNVIL_JPEG) {
        const jpeg = readFileSync(process.env.TARNVIL_JPEG);
        for (let i = 0; i < 5; ++i) {
            // A new name each time: nothing of the last decode is kept.
            await page.setInputFiles("#file", { name: `photo${i}.jpg`, mimeType: "image/jpeg", buffer: jpeg });
            await page.waitForFunction((i) => performance.getEntriesByName("tarnvil picture").length === i + 1, i, { timeout: 60000 });
        }
    }
    const own = await page.evaluate(() => Object.fromEntries(["screen", "strip", "picture"].map((name) =>
        [name, performance.getEntriesByName(`tarnvil ${name}`).map((entry) => entry.duration)])));

    const summary = (values) => {
        const sorted = [...values].sort((a, b) => a - b);
        const middle = sorted.length >> 1;
        const median = sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
        return { median: Number(median.toFixed(2)), worst: Number(sorted[sorted.length - 1].toFixed(2)), count: sorted.length };
    };
    const result = {
        convertAndPreview: summary(calls.screen),
        strip: summary(calls.strip),
        pageScreen: summary(own.screen),
        pageStrip: summary(own.strip),
        ...(own.picture.length ? { jpegChosenToShown: summary(own.picture) } : {}),
    };
    const rows = [
        ["tarnvil.convert + tarnvil.preview + putImageData", result.convertAndPreview],
        ["the strip: 10 conversions and previews", result.strip],
        ["the page's redraw (\"tarnvil screen\")", result.pageScreen],
        ["the page's strip (\"tarnvil strip\")", result.pageStrip],
        ...(result.jpegChosenToShown ? [["a 6000x4000 JPEG, chosen to shown with its strip", result.jpegChosenToShown]] : []),
    ];
    console.log(`${"320x256 picture (the sample), in ms".padEnd(52)} ${"median".padStart(8)} ${"worst".padStart(8)} ${"count".padStart(6)}`);
    for (const [label, { median, worst, count }] of rows) {
        console.log(`${label.padEnd(52)} ${median.toFixed(1).padStart(8)} ${worst.toFixed(1).padStart(8)} ${String(count).padStart(6)}`);
    }
    if (process.env.TARNVIL_TIMINGS) writeFileSync(process.env.TARNVIL_TIMINGS, `${JSON.stringify(result, null, 2)}\n`);
} finally {
    await browser.close();
}
