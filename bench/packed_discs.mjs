// Measures packed discs against raw ones on the benchmark's pictures:
// six photograph-like pictures of 1200 x 900 (bench/make_inputs 1200 900 6)
// and samples/sunset.ppm, in MODEs 0, 1, 2, 4 and 5, by the default route
// (-p auto) and with --dither diffuse: 70 dumps.
//
// For each mode and route it writes a packed disc and a --raw disc of the
// seven pictures and boots both in jsbeeb's BBC B with DFS 1.2. From the
// key that leaves one picture to the GET$ that waits under the next, it
// counts the emulated machine's cycles, split into the time in the filing
// system (the raw disc's *LOAD, the packed disc's OSWORD &7F reads from
// the routine at &0900), in the unpacker (&0A00) and the rest (BASIC,
// MODE, VDU 19, the keyboard). It also reports each dump's packed size
// against gzip -9's, the pictures that fit on a side, and the unpacker's
// cycles per screen byte, median and worst of the packed screens timed.
// Sizes and cycles are the same on every computer.
//
//   node bench/packed_discs.mjs BUILD_DIR [WORK_DIR]
// Needs jsbeeb ("npm ci" in tests/emulator) and gzip. MODES=1,5 measures
// only those modes; PASSES=N boots each disc N times (8 by default);
// MACHINE=B1770 (or B-DFS0.9, Master) boots another of jsbeeb's machines.
import { execFileSync } from "node:child_process";
import fs from "node:fs";
import path from "node:path";
import { fileURLToPath } from "node:url";

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "..");
const [buildArg, workArg] = process.argv.slice(2);
if (!buildArg) {
    console.error("usage: node bench/packed_discs.mjs BUILD_DIR [WORK_DIR]");
    process.exit(2);
}
const build = path.resolve(buildArg);
const work = path.resolve(workArg ?? "/tmp/tarnvil-packed-discs");
const jsbeeb = path.join(root, "tests/emulator/node_modules/jsbeeb/src");
const { MachineSession } = await import(path.join(jsbeeb, "machine-session.js"));
const { keyCodes } = await import(path.join(jsbeeb, "utils.js"));

const MODES = (process.env.MODES ?? "0,1,2,4,5").split(",").map(Number);
const ROUTES = [
    { name: "default route", options: ["-p", "auto"] },
    { name: "--dither diffuse", options: ["-p", "auto", "--dither", "diffuse"] },
];
const SCREEN_BYTES = { 0: 20480, 1: 20480, 2: 20480, 4: 10240, 5: 10240 };
const RAW_PER_SIDE = { 0: 9, 1: 9, 2: 9, 4: 19, 5: 19 };
const HZ = 2_000_000;
const REVOLUTION = HZ / 5; // 300 rpm
// Each disc is booted this many times, its keys coming at other points of
// the turn each time.
const PASSES = Number(process.env.PASSES ?? 8);
const MACHINE = process.env.MACHINE ?? "B-DFS1.2";
const OSRDCH = 0xffe0, OSWORD = 0xfff1, OSCLI = 0xfff7, SHOW = 0x0900, UNPACK = 0x0a00;

const run = (program, args) => execFileSync(program, args, { cwd: work, encoding: "latin1" });
const median = (values) => {
    const sorted = [...values].sort((a, b) => a - b);
    const middle = sorted.length >> 1;
    return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
};
const mean = (values) => values.reduce((a, b) => a + b, 0) / values.length;

// The files of an .ssd's catalogue, in the disc's order: name, length
// and first sector.
function catalogue(image) {
    const files = [];
    for (let slot = 0; slot < image[0x105] / 8; ++slot) {
        const name = image.subarray(8 + 8 * slot, 15 + 8 * slot).toString("latin1").trim();
        const entry = 0x108 + 8 * slot;
        const length = image[entry + 4] | image[entry + 5] << 8 | (image[entry + 6] >> 4 & 3) << 16;
        files.push({ name, length, sector: image[entry + 7] | (image[entry + 6] & 3) << 8 });
    }
    return files.reverse();
}

// A packed file's own bytes: its first byte and the stream, without the
// padding that makes it whole sectors; a screen stored as it is, whole.
function packedBytes(image, file, screenBytes) {
    return file.length === screenBytes ? file.length : file.length - image[file.sector * 256];
}

// Boots `disc` and times each picture after the first, from its key to the
// GET$ under it.
async function timeDisc(disc, pictures, pass) {
    const session = new MachineSession(MACHINE);
    const log = console.log;
    console.log = () => {};
    try {
        await session.initialise();
    } finally {
        console.log = log;
    }
    session.loadDisc(disc);
    const cpu = session._machine.processor;
    const cycles = () => cpu.cycleSeconds * HZ + cpu.currentCycles;
    const ram = (address) => cpu.readmem(address);
    let prompt = false;        // the OS has asked for a line: BREAK boots
    let waiting = false;       // BASIC's GET$ has called OSRDCH
    let call = null;            // the filing system or unpacker call under way
    let split = { disc: 0, unpack: 0 };
    // Calls from BASIC (the language ROM) or from the routine that shows
    // the picture, in pages &09-&0A.
    cpu.debugInstruction.add((pc) => {
        const s = cpu.s;
        const caller = (ram(0x101 + s) | ram(0x102 + s) << 8) + 1;
        const fromBasic = caller >= 0x8000 && caller < 0xc000;
        if (pc === OSRDCH && caller >= 0xc000) prompt = true;
        if (call === null && (fromBasic || (caller >= SHOW && caller < UNPACK + 0x100))) {
            if (pc === OSRDCH && fromBasic) {
                waiting = true;
                return true;
            }
            if (pc === OSCLI || pc === OSWORD || pc === UNPACK)
                call = { kind: pc === UNPACK ? "unpack" : "disc", back: caller, began: cycles() };
        } else if (call && pc === call.back) {
            split[call.kind] += cycles() - call.began;
            call = null;
        }
        return false;
    });
    const until = async (done, what) => {
        const end = cycles() + 30 * HZ;
        while (!done()) {
            if (cycles() >= end) throw new Error(`${disc}: ${what} did not come within 30 s`);
            await session.runFor(10_000);
        }
    };
    await until(() => prompt, "the prompt after power on");
    session.keyDown(keyCodes.SHIFT);
    cpu.setReset(true);
    await session.runFor(1000);
    cpu.setReset(false);
    await session.runFor(HZ / 5);
    session.keyUp(keyCodes.SHIFT);
    await until(() => waiting, "the first picture");
    const times = [];
    for (let i = 1; i < pictures; ++i) {
        // Where the disc is when the key comes decides how long the first
        // sector takes to come round: each key, in each pass, comes a
        // further part of a turn (200 ms) later, so that the mean covers
        // the turn.
        const step = (i - 1) * PASSES + pass;
        await session.runFor(Math.round(step * REVOLUTION / ((pictures - 1) * PASSES)));
        waiting = false;
        split = { disc: 0, unpack: 0 };
        const began = cycles();
        session.keyDown(keyCodes.SPACE);
        await session.runFor(2 * 40_000);
        session.keyUp(keyCodes.SPACE);
        await until(() => waiting, `picture ${i + 1}`);
        const total = cycles() - began;
        times.push({ total, disc: split.disc, unpack: split.unpack, rest: total - split.disc - split.unpack });
    }
    return times;
}

fs.rmSync(work, { recursive: true, force: true });
fs.mkdirSync(work, { recursive: true });
run(path.join(build, "bench/make_inputs"), ["1200", "900", "6", "photo"]);
fs.copyFileSync(path.join(root, "samples/sunset.ppm"), path.join(work, "sunset.ppm"));
const inputs = fs.readdirSync(work).filter((name) => name.endsWith(".ppm")).sort();
const disc = path.join(build, "tarnvil-disc");

const rows = [];
const ratios = [];
for (const mode of MODES) {
    for (const [r, route] of ROUTES.entries()) {
        const stem = `m${mode}r${r}`;
        const said = run(disc, ["-m", String(mode), ...route.options, "--keep", stem, "-o", `${stem}.ssd`, ...inputs]);
        run(disc, ["--raw", "-m", String(mode), ...route.options, "-o", `${stem}raw.ssd`, ...inputs]);
        const more = Number(/(\d+) more of their size would fit/.exec(said)?.[1] ?? 0);
        const image = fs.readFileSync(path.join(work, `${stem}.ssd`));
        const files = catalogue(image);
        const sizes = inputs.map((input, i) => {
            const dump = path.join(stem, `${input}.bbc`);
            const gzip = execFileSync("gzip", ["-9c", dump], { cwd: work }).length;
            return packedBytes(image, files[2 + i], SCREEN_BYTES[mode]) / gzip;
        });
        ratios.push(...sizes);
        const packed = [], raw = [];
        for (let pass = 0; pass < PASSES; ++pass) {
            packed.push(...await timeDisc(path.join(work, `${stem}.ssd`), inputs.length, pass));
            raw.push(...await timeDisc(path.join(work, `${stem}raw.ssd`), inputs.length, pass));
        }
        const sum = (times, key) => mean(times.map((t) => t[key])) / HZ;
        // Screens stored as they are never reach the unpacker.
        const perByte = packed.filter((t) => t.unpack > 0).map((t) => t.unpack / SCREEN_BYTES[mode]);
        const row = {
            mode, route: route.name, gzip: median(sizes), side: inputs.length + more,
            perByte: median(perByte), worstPerByte: Math.max(...perByte),
            packed: sum(packed, "total"), raw: sum(raw, "total"),
            disc: sum(packed, "disc"), unpack: sum(packed, "unpack"), rest: sum(packed, "rest"),
            rawDisc: sum(raw, "disc"), rawRest: sum(raw, "rest"),
        };
        rows.push(row);
        console.log(
            `MODE ${mode} ${route.name.padEnd(16)} size/gzip ${row.gzip.toFixed(3)}  per side ${row.side} ` +
            `(${(row.side / RAW_PER_SIDE[mode]).toFixed(1)}x)  unpack ${row.perByte.toFixed(1)} (${row.worstPerByte.toFixed(1)}) c/byte  ` +
            `packed ${row.packed.toFixed(2)} s [disc ${row.disc.toFixed(2)}, unpack ${row.unpack.toFixed(2)}, rest ${row.rest.toFixed(2)}]  ` +
            `raw ${row.raw.toFixed(2)} s [disc ${row.rawDisc.toFixed(2)}, rest ${row.rawRest.toFixed(2)}]  ratio ${(row.packed / row.raw).toFixed(3)}`);
    }
}
console.log(`median packed size / gzip -9 over ${ratios.length} dumps: ${median(ratios).toFixed(3)}`);
