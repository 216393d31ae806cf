// Converts pictures with tarnvil, puts them on discs with tarnvil-disc (and
// has tarnvil-disc prepare and convert pictures itself) and boots each disc
// in emulated BBC Micros (jsbeeb, with its own ROMs): a Model B with OS 1.2,
// BASIC 2 and DFS 0.9, DFS 1.2 or the 1770 DFS, and a Master 128. Discs of
// packed screens unpack each with the machine's own code; one disc holds
// more pictures than the catalogue has names, one a screen that does not
// shrink, one both sides of a .dsd, one split over two discs, one is a
// slideshow, one is --raw, as discs were, one holds MODE 7 teletext pages
// and one pictures in a VideoNuLA's colours (jsbeeb models the NuLA). For
// every picture, once the machine waits for a key, screen memory must
// equal the dump byte for byte and the video frame must equal
// tarnvil-view's preview pixel for pixel, with nothing else on the screen.
// After the last picture ESCAPE must give the BASIC prompt, and leave the
// NuLA's colours the machine's own.
//
// node boot_discs.mjs TARNVIL TARNVIL_DISC TARNVIL_VIEW SAMPLES_DIR WORK_DIR
// Exit status: 0 all checks passed, 1 a check failed, 77 skipped (jsbeeb
// is not installed: run "npm ci" in this directory; with CI=true that
// fails instead).
import { execFileSync } from "node:child_process";
import fs from "node:fs";
import path from "node:path";
import { decodePng } from "./png.mjs";
import { FRAME_HEIGHT, FRAME_WIDTH, requireJsbeeb } from "./jsbeeb.mjs";

const args = process.argv.slice(2);
if (args.length !== 5) {
    console.error("usage: node boot_discs.mjs TARNVIL TARNVIL_DISC TARNVIL_VIEW SAMPLES_DIR WORK_DIR");
    process.exit(2);
}
const [tarnvil, tarnvilDisc, tarnvilView, samplesDir, workDir] = args.map((p) => path.resolve(p));

requireJsbeeb();
const { MachineSession } = await import("jsbeeb/machine-session");
const { keyCodes } = await import("jsbeeb/src/utils.js");

// The machine runs at 2 MHz; a field (one painted frame) is 40000 cycles.
const CYCLES_PER_SECOND = 2_000_000;
const FIELD = 40_000;
// Emulated time allowed for each step, so a hang fails in about a second
// of real time with what the machine printed, not with a CTest timeout.
const STEP_BUDGET = 10 * CYCLES_PER_SECOND;
// The OS's blinking cursor is on for 8 or 16 fields and off for as many;
// four frames 8 fields apart see both phases of either rate. The first
// is three fields on: the field under way when the key is waited for may
// have begun before the picture showed, and a teletext frame is that
// field's lines and the next's.
const SAMPLE_FIELDS = [3, 8, 8, 8];
const OSRDCH = 0xffe0;
const WRCHV = 0x20e;
const SCREEN_START = { 0: 0x3000, 1: 0x3000, 2: 0x3000, 4: 0x5800, 5: 0x5800, 7: 0x7c00 };
// The displayed area: 640 x 512 in the graphics modes; a teletext page of
// 25 rows of 20 lines.
const shownSize = (mode) => (mode === 7 ? { width: 640, height: 500 } : { width: 640, height: 512 });
const dumpSize = (mode) => (mode === 7 ? 1000 : 0x8000 - SCREEN_START[mode]);
// Where the 6845 starts: screen memory over 8, or MODE 7's address, which
// the machine maps from &2800 to &7C00.
const crtcStartOf = (mode) => (mode === 7 ? 0x2800 : SCREEN_START[mode] / 8);
// What BASIC prints when ESCAPE stops the program's last line, then its
// prompt: line 10 of a raw disc's !BOOT, line 40 of a packed one's.
const escapeText = (disc) => `\n\rEscape at line ${disc.raw ? 10 : 40}\n\r>`;

// The suite's own pictures, made here so their content is fixed.
function ppm(comment, width, height, colourAt) {
    const header = Buffer.from(`P6\n# ${comment}\n${width} ${height}\n255\n`, "latin1");
    const pixels = Buffer.alloc(width * height * 3);
    for (let y = 0; y < height; ++y)
        for (let x = 0; x < width; ++x) pixels.set(colourAt(x, y), (y * width + x) * 3);
    return Buffer.concat([header, pixels]);
}

const SOURCES = {
    // Smooth ramps in all three channels: every halftone level shows.
    gradient: () =>
        ppm("gradient", 320, 256, (x, y) => {
            const r = Math.round((x * 255) / 319);
            return [r, y, 255 - ((r + y) >> 1)];
        }),
    // The eight primaries over a grey ramp.
    bars: () =>
        ppm("colour bars", 320, 256, (x, y) => {
            if (y < 192) {
                const i = x >> 5 & 7;
                return [i & 1 ? 255 : 0, i & 2 ? 255 : 0, i & 4 ? 255 : 0];
            }
            const grey = Math.min(255, (x >> 4) * 17);
            return [grey, grey, grey];
        }),
    // Checkerboards over horizontal stripes, from one pixel to 16 pixels a
    // square or stripe, the full MODE 0 width: every scan line of a
    // character row differs from its neighbours.
    checker: () =>
        ppm("checkerboards and stripes", 640, 256, (x, y) => {
            const size = x >> 7;
            const on = (y < 128 ? (x >> size) ^ (y >> size) : y >> size) & 1;
            return on ? [255, 255, 255] : [0, 0, 0];
        }),
    // Smaller than the screen: the rest of it must stay black.
    rings: () =>
        ppm("rings", 100, 60, (x, y) => {
            const band = Math.floor(Math.hypot(x - 50, y - 30) / 4);
            const i = band % 7 + 1;
            const level = band & 8 ? 128 : 255;
            return [i & 1 ? level : 0, i & 2 ? level : 0, i & 4 ? level : 0];
        }),
    sunset: () => fs.readFileSync(path.join(samplesDir, "sunset.ppm")),
};

// A photograph-like picture larger than the screen, for tarnvil-disc to
// scale: sky and ground, soft blobs of colour, grain. `grey` makes a PGM.
function photo(width, height, grey) {
    let seed = 12345;
    const random = () => ((seed = (seed * 1103515245 + 12345) >>> 0) >>> 8) / 16777216;
    const blobs = Array.from({ length: 5 }, () =>
        ({ x: random() * width, y: random() * height, r: (0.1 + 0.2 * random()) * width,
           c: [random() * 255, random() * 255, random() * 255] }));
    const channels = grey ? 1 : 3;
    const header = Buffer.from(`P${grey ? 5 : 6}\n${width} ${height}\n255\n`, "latin1");
    const pixels = Buffer.alloc(width * height * channels);
    for (let y = 0; y < height; ++y) {
        for (let x = 0; x < width; ++x) {
            const sky = y < height * 0.45;
            let c = sky ? [70 + y / 4, 120 + y / 5, 230] : [130, 110 - y / 10, 50];
            for (const b of blobs) {
                const d = Math.hypot(x - b.x, y - b.y) / b.r;
                if (d < 1) c = c.map((v, k) => v + (b.c[k] - v) * (1 - d) * (1 - d));
            }
            const grain = (random() - 0.5) * 30;
            c = c.map((v) => Math.max(0, Math.min(255, Math.round(v + grain))));
            if (grey) pixels[y * width + x] = Math.round(0.3 * c[0] + 0.59 * c[1] + 0.11 * c[2]);
            else pixels.set(c, (y * width + x) * 3);
        }
    }
    return Buffer.concat([header, pixels]);
}

// Pictures that tarnvil-disc prepares and converts itself, each under its
// file name; options apply to every picture after them, as on the command
// line.
const PICTURES = {
    "sunset.ppm": () => fs.readFileSync(path.join(samplesDir, "sunset.ppm")),
    "holiday snap.ppm": () => photo(800, 600, false),
    "harbour.pgm": () => photo(500, 700, true),
};

// Screens as they are, made here: noise, which packing cannot shrink.
const DUMPS = {
    noise: (size) => {
        let seed = 99;
        return Buffer.from(Array.from({ length: size }, () => (seed = (Math.imul(seed, 1103515245) + 12345) >>> 0) >>> 24));
    },
};

// More pictures than a catalogue has names: all in one file.
const MANY = Array.from({ length: 33 }, (_, k) => ({
    source: ["gradient", "bars", "rings", "checker", "sunset"][k % 5],
    options: `-h${k % 5}${k % 2 ? 4 : 5}`,
}));

// Mixed modes on both disc sizes, several option blocks each, one dump
// without its INF sidecar, pictures in other palettes, and the README's own
// sample disc; each disc on the machines named.
const DISCS = [
    {
        name: "mixed80.ssd", tracks: 80, title: "MIXED 80", machines: ["B-DFS0.9"],
        pictures: [
            { noise: 1 },
            { source: "checker", options: "-h00" },
            { source: "sunset", options: "-hs4a0" },
            { source: "gradient", options: "-h31" },
            { source: "gradient", options: "-h2a2" },
            { source: "bars", options: "-5" },
            { source: "gradient", options: "-h44" },
            { source: "sunset", options: "-hs1a2" },
        ],
    },
    {
        name: "mixed40.ssd", tracks: 40, title: "MIXED 40", machines: ["B-DFS1.2"], raw: true,
        pictures: [
            { source: "sunset", options: "-4", withoutInf: true },
            { source: "sunset", options: "-h0a5" },
            { source: "bars", options: "-hs21" },
            { source: "rings", options: "-h12" },
        ],
    },
    // Palettes set by VDU 19 in every mode that has them, and a picture in
    // the default palette after them: MODE must have reset the previous one.
    {
        name: "palettes.ssd", tracks: 80, title: "PALETTES", machines: ["B1770"],
        pictures: [
            { source: "checker", options: "-h10", palette: "41" },
            { source: "gradient", options: "-h21", palette: "0467" },
            { source: "bars", options: "-h02", palette: "76543210" },
            { source: "sunset", options: "-h35", palette: "0457" },
            { source: "sunset", options: "-h25" },
            { source: "rings", options: "-h22", palette: "07162534" },
        ],
    },
    // Pictures named on the command line: !BOOT loads each by its name
    // (one made unique) with its palette changes, read together from DATA.
    {
        name: "photos.ssd", tracks: 80, title: "PHOTOS", machines: ["Master"],
        pictures: [
            { file: "sunset.ppm", options: ["-m", "2", "-a"] },
            { file: "holiday snap.ppm", options: ["-m", "1", "-p", "auto", "--halftone", "3"] },
            { file: "holiday snap.ppm", options: ["-m", "2", "-p", "auto", "--stagger", "--saturation", "30"] },
            { file: "harbour.pgm", options: ["-m", "1", "--fill", "fit", "--halftone", "1"] },
        ],
    },
    // Pictures whose dots tarnvil-fit chose itself by error diffusion, one
    // in a palette it picked among every set of four colours, one in
    // colours that tarnvil's matching alone cannot reach, and a light-true
    // one with tarnvil's halftone.
    {
        name: "light.ssd", tracks: 80, title: "LIGHT", machines: ["B-DFS1.2"],
        pictures: [
            { file: "sunset.ppm", options: ["-m", "2", "--dither", "diffuse"] },
            { file: "holiday snap.ppm", options: ["-m", "5", "-p", "auto"] },
            { file: "holiday snap.ppm", options: ["-m", "1", "-p", "0147"] },
            { file: "harbour.pgm", options: ["-m", "0", "--dither", "ordered"] },
        ],
    },
    {
        name: "sunset.ssd", tracks: 80, title: "SUNSET", machines: ["B-DFS0.9"],
        pictures: [{ source: "sunset", options: "-a2" }],
    },
    { name: "many.ssd", tracks: 80, title: "MANY", machines: ["Master"], pictures: MANY },
    // Both sides: when side 0 is full, the pictures go on from drive 2.
    {
        name: "both.dsd", tracks: 40, title: "BOTH", machines: ["B1770"],
        pictures: [
            { source: "gradient", options: "-h31" },
            { noise: 1 }, { noise: 1 }, { noise: 1 }, { noise: 1 }, { noise: 1 },
            { source: "sunset", options: "-h05" },
        ],
    },
    // More than a disc holds, split: each disc boots with its share.
    {
        name: "split.ssd", tracks: 40, title: "SPLIT", machines: ["B-DFS0.9"], split: true,
        pictures: [{ noise: 1 }, { noise: 1 }, { noise: 1 }, { noise: 1 }, { source: "bars", options: "-h04" }, { noise: 1 }],
    },
    // A slideshow: each picture for a second, then the next, then the first
    // again, with no key pressed.
    // Teletext pages made from pictures (the sample's page holds every
    // graphics colour, hold, separated and new-background cells: checked),
    // between pictures of other modes.
    {
        name: "teletext.ssd", tracks: 40, title: "TELETEXT", machines: ["B-DFS0.9", "Master"],
        pictures: [
            { file: "sunset.ppm", options: ["-m", "7"] },
            { file: "holiday snap.ppm", options: [] },
            { file: "harbour.pgm", options: ["-m", "1", "-p", "auto"] },
            { file: "sunset.ppm", options: ["-m", "7", "--fill", "fit", "--gamma", "1.4"] },
        ],
    },
    // A VideoNuLA's colours in MODEs 0, 1 and 2, with a picture in the
    // machine's colours and a teletext page between them: each starts from
    // the NuLA reset.
    {
        name: "nula.ssd", tracks: 80, title: "NULA", machines: ["B1770", "B-DFS1.2"], nula: true,
        pictures: [
            { file: "sunset.ppm", options: ["-m", "2", "--nula"] },
            { file: "holiday snap.ppm", options: ["-m", "1", "-p", "auto"] },
            { file: "holiday snap.ppm", options: ["--nula"] },
            { file: "sunset.ppm", options: ["-m", "7"] },
            { file: "harbour.pgm", options: ["-m", "0", "--nula"] },
            { file: "sunset.ppm", options: ["-m", "1", "--nula-palette", "000,F00,0F0,FFF"] },
        ],
    },
    {
        name: "show.ssd", tracks: 80, title: "SHOW", machines: ["B-DFS1.2"], seconds: 1,
        pictures: [
            { source: "bars", options: "-h05" },
            { source: "sunset", options: "-h21" },
            { source: "gradient", options: "-h12" },
        ],
    },
    // A slideshow in a NuLA's colours, a teletext page among them.
    {
        name: "nulashow.ssd", tracks: 80, title: "NULA SHOW", machines: ["Master"], seconds: 1, nula: true,
        pictures: [
            { file: "sunset.ppm", options: ["-m", "1", "--nula"] },
            { file: "sunset.ppm", options: ["-m", "7"] },
            { file: "harbour.pgm", options: ["-m", "2", "--nula"] },
        ],
    },
];

const NULA_WARNING = "These pictures need a VideoNuLA.";
// The NuLA's colours after a reset, the machine's own.
const NULA_RESET = Array.from(
    (await import("jsbeeb/src/bbc-palette.js")).BbcDefaultPalette);

const hex = (value, digits) => "&" + value.toString(16).toUpperCase().padStart(digits, "0");
const colour = (rgb) => "#" + Array.from(rgb, (c) => c.toString(16).toUpperCase().padStart(2, "0")).join("");

function run(program, programArgs) {
    try {
        return execFileSync(program, programArgs, { cwd: workDir, encoding: "latin1" });
    } catch (error) {
        throw new Error(`${path.basename(program)} ${programArgs.join(" ")} failed:\n${error.stdout ?? ""}${error.stderr ?? ""}`);
    }
}

const modeAndPalette = (picture) =>
    ["-m", String(picture.mode), ...(picture.palette ? ["-p", picture.palette] : [])];

// Converts every picture, renders its preview and writes the discs.
function makeDiscs() {
    fs.rmSync(workDir, { recursive: true, force: true });
    fs.mkdirSync(workDir, { recursive: true });
    const conversions = [];
    for (const disc of DISCS.filter((disc) => !disc.pictures[0].file)) {
        for (const picture of disc.pictures) {
            if (picture.noise !== undefined) {
                picture.mode = picture.noise;
                picture.dump = `noise-${picture.mode}.bbc`;
                fs.writeFileSync(path.join(workDir, picture.dump), DUMPS.noise(0x8000 - SCREEN_START[picture.mode]));
                continue;
            }
            const stem = picture.source + picture.options;
            picture.mode = Number(picture.options.at(-1));
            picture.dump = `${stem}.ppm.bbc`;
            fs.writeFileSync(path.join(workDir, `${stem}.ppm`), SOURCES[picture.source]());
            conversions.push(picture.options + stem + ".ppm");
        }
    }
    run(tarnvil, conversions);
    for (const disc of [...DISCS]) {
        if (disc.pictures[0].file) {
            makePictureDisc(disc);
            continue;
        }
        for (const picture of disc.pictures) {
            picture.bytes = readDump(picture);
            run(tarnvilView, [...modeAndPalette(picture), picture.dump]);
            picture.preview = readPreview((picture.previewName = `${picture.dump}.png`), picture.mode);
            if (picture.withoutInf) fs.rmSync(path.join(workDir, `${picture.dump}.inf`));
        }
        const said = run(tarnvilDisc, [
            "-o", disc.name, "--tracks", String(disc.tracks), "--title", disc.title, ...(disc.raw ? ["--raw"] : []),
            ...(disc.seconds ? ["--seconds", String(disc.seconds)] : []), ...(disc.split ? ["--split"] : []),
            ...disc.pictures.flatMap((picture) => [...modeAndPalette(picture), picture.dump]),
        ]);
        // Split, the disc is the first of several: each takes the pictures
        // it says it holds, in order.
        if (disc.split) {
            const held = [...said.matchAll(/^(\S+) holds (\d+) picture/gm)];
            if (held.length < 2) throw new Error(`${disc.name}: --split made ${held.length} disc(s): ${said}`);
            let first = 0;
            const parts = held.map(([, name, count]) => {
                const part = { ...disc, name, split: false, pictures: disc.pictures.slice(first, first + Number(count)) };
                first += Number(count);
                return part;
            });
            DISCS.splice(DISCS.indexOf(disc), 1, ...parts);
        }
    }
}

// A disc of pictures made by tarnvil-disc alone. What each must show comes
// from tarnvil-view, run apart on the same picture with the same options:
// its preview, and the dump its --keep writes.
function makePictureDisc(disc) {
    for (const file of new Set(disc.pictures.map((picture) => picture.file)))
        fs.writeFileSync(path.join(workDir, file), PICTURES[file]());
    const options = [];
    for (const [index, picture] of disc.pictures.entries()) {
        options.push(...picture.options);
        picture.mode = Number(options[options.lastIndexOf("-m") + 1]);
        if (picture.options.includes("-p")) picture.palette = picture.options[picture.options.indexOf("-p") + 1];
        const kept = `${disc.name}.${index + 1}`;
        const preview = `${kept}.png`;
        run(tarnvilView, [...options, "--keep", kept, "-o", preview, picture.file]);
        // Named as tarnvil-fit names its PPM, then tarnvil its dump; a
        // teletext page as tarnvil-fit -m 7 names it.
        picture.dump = `${kept}/${picture.file.replace(/\.[^.]*$/, "")}${picture.mode === 7 ? "" : ".ppm"}.bbc`;
        picture.bytes = readDump(picture);
        picture.preview = readPreview((picture.previewName = preview), picture.mode);
    }
    run(tarnvilDisc, [
        "-o", disc.name, "--tracks", String(disc.tracks), "--title", disc.title,
        ...(disc.seconds ? ["--seconds", String(disc.seconds)] : []),
        ...disc.pictures.flatMap((picture) => [...picture.options, picture.file]),
    ]);
}

function readDump(picture) {
    const size = dumpSize(picture.mode);
    const dumpPath = path.join(workDir, picture.dump);
    if (!fs.existsSync(dumpPath) || fs.statSync(dumpPath).size !== size)
        throw new Error(`no ${size}-byte dump ${picture.dump} was written`);
    return fs.readFileSync(dumpPath);
}

function readPreview(name, mode) {
    const preview = decodePng(fs.readFileSync(path.join(workDir, name)), name);
    const { width, height } = shownSize(mode);
    if (preview.width !== width || preview.height !== height)
        throw new Error(`${name} is ${preview.width} x ${preview.height}, not ${width} x ${height}`);
    return preview;
}

// One emulated machine with the disc in drive 0, and the hooks the checks
// need: where the video chip drew screen memory in each frame, calls of
// OSRDCH and characters sent to the screen.
class Machine {
    static async start(discPath, model) {
        const session = new MachineSession(model);
        const log = console.log;
        console.log = () => {}; // jsbeeb announces every ROM it loads
        try {
            await session.initialise();
        } finally {
            console.log = log;
        }
        session.loadDisc(discPath);
        return new Machine(session);
    }

    constructor(session) {
        this.session = session;
        this.cpu = session._machine.processor;
        const video = this.cpu.video;
        this.video = video;

        // The displayed area is wherever the video ULA put screen memory
        // into the frame buffer; everything else is border. Track it per
        // frame rather than assume where the 6845's timing places it.
        const emptyBox = () => ({ left: FRAME_WIDTH, top: FRAME_HEIGHT, right: 0, bottom: 0 });
        let box = emptyBox();
        const drawn = (offset, pixels, lines) => {
            const x = offset % FRAME_WIDTH;
            const y = (offset - x) / FRAME_WIDTH;
            box.left = Math.min(box.left, x);
            box.right = Math.max(box.right, x + pixels);
            box.top = Math.min(box.top, y);
            box.bottom = Math.max(box.bottom, y + lines);
        };
        const blit = video.blitFb.bind(video);
        video.blitFb = (data, offset, pixels) => {
            drawn(offset, pixels, 2); // every scan line is drawn twice
            blit(data, offset, pixels);
        };
        // Teletext is drawn a character's 16 pixels at a time, each field
        // every other line of the frame.
        const teletext = video.teletext;
        const render = teletext.render.bind(teletext);
        teletext.render = (buf, offset) => {
            drawn(offset, 16, 1);
            render(buf, offset);
        };
        const paint = video.paint_ext;
        this.fields = 0;
        let previous = emptyBox();
        video.paint_ext = (...bounds) => {
            paint(...bounds); // the session copies the finished frame
            // The area of this field and the one before: an interlaced
            // teletext frame is both.
            this.lastBox = { left: Math.min(box.left, previous.left), right: Math.max(box.right, previous.right),
                             top: Math.min(box.top, previous.top), bottom: Math.max(box.bottom, previous.bottom) };
            previous = box;
            box = emptyBox();
            ++this.fields;
        };

        this.watch = null;
        this.screenText = "";
        const ram = (address) => this.cpu.readmem(address);
        this.cpu.debugInstruction.add((pc) => {
            if (pc === OSRDCH && this.watch && this.watch.caller === null) {
                const s = this.cpu.s;
                const caller = (ram(0x101 + s) | (ram(0x102 + s) << 8)) + 1;
                if (this.watch.fromCaller(caller)) {
                    this.watch.caller = caller;
                    return true; // stop right there, before the OS reads anything
                }
            }
            if (pc === this.returnAddress) this.returned = true;
            if (pc === (ram(WRCHV) | (ram(WRCHV + 1) << 8))) this.screenText += String.fromCharCode(this.cpu.a);
            return false;
        });
    }

    get cycles() {
        return this.cpu.cycleSeconds * CYCLES_PER_SECOND + this.cpu.currentCycles;
    }

    // Runs until done() or until `budget` cycles have passed; false then.
    async runUntil(done, budget) {
        const end = this.cycles + budget;
        while (!done()) {
            if (this.cycles >= end) return false;
            await this.session.runFor(Math.min(10_000, end - this.cycles));
        }
        return true;
    }

    async runFields(count) {
        const target = this.fields + count;
        if (!(await this.runUntil(() => this.fields >= target, (count + 2) * FIELD)))
            throw new Error(`the video chip painted no frame for ${count + 2} fields`);
    }

    // Watches for the next call of OSRDCH from an address `fromCaller`
    // accepts. Set up before the key press or reset that leads to it, so
    // the call cannot slip by while the key is held.
    watchOsrdch(fromCaller) {
        this.watch = { fromCaller, caller: null };
    }

    // Runs until the watched call and stops there; returns its caller.
    async untilOsrdch(what) {
        const watch = this.watch;
        if (!(await this.runUntil(() => watch.caller !== null, STEP_BUDGET)))
            throw new Error(`${what}: the machine did not wait for a key within ${STEP_BUDGET / CYCLES_PER_SECOND} s ` +
                            `of emulated time (PC at ${hex(this.cpu.pc, 4)}); it last printed ${JSON.stringify(this.screenText.slice(-160))}`);
        return watch.caller;
    }

    async shiftBreak() {
        this.session.keyDown(keyCodes.SHIFT);
        this.cpu.setReset(true);
        await this.session.runFor(1000);
        this.cpu.setReset(false);
        await this.runFields(10);
        this.session.keyUp(keyCodes.SHIFT);
    }

    // Holds a key down for two fields, long enough for the keyboard scan
    // and too short for auto-repeat.
    async press(keyCode) {
        this.session.keyDown(keyCode);
        await this.runFields(2);
        this.session.keyUp(keyCode);
    }
}

// BASIC's GET$ calls OSRDCH itself, from the language ROM at &8000-&BFFF;
// the OS's line input (the prompt, and *EXEC typing in !BOOT) calls it from
// the OS ROM. So OSRDCH entered from BASIC is the program waiting for a key.
const fromBasic = (caller) => caller >= 0x8000 && caller < 0xc000;
const fromOs = (caller) => caller >= 0xc000;

function firstDifferentByte(machine, picture) {
    const start = SCREEN_START[picture.mode];
    for (let i = 0; i < picture.bytes.length; ++i) {
        const got = machine.cpu.readmem(start + i);
        if (got !== picture.bytes[i])
            return `screen memory differs from the dump at ${hex(start + i, 4)} (offset ${i}): ` +
                   `expected ${hex(picture.bytes[i], 2)}, got ${hex(got, 2)}`;
    }
    return null;
}

function firstDifferentPixel(machine, picture, sample) {
    const box = machine.lastBox;
    if (box.right === 0) return `frame ${sample}: the video chip showed no screen memory`;
    const width = box.right - box.left;
    const height = box.bottom - box.top;
    const shown = shownSize(picture.mode);
    if (width !== shown.width || height !== shown.height)
        return `frame ${sample}: the displayed area is ${width} x ${height} at (${box.left}, ${box.top}), ` +
               `not ${shown.width} x ${shown.height}`;
    const frame = machine.session._completeFb8;
    const rgb = picture.preview.rgb;
    for (let y = 0; y < height; ++y) {
        for (let x = 0; x < width; ++x) {
            const f = ((box.top + y) * FRAME_WIDTH + box.left + x) * 4;
            const p = (y * width + x) * 3;
            if (frame[f] !== rgb[p] || frame[f + 1] !== rgb[p + 1] || frame[f + 2] !== rgb[p + 2])
                return `frame ${sample} differs from ${picture.previewName} at pixel (${x}, ${y}): ` +
                       `expected ${colour(rgb.subarray(p, p + 3))}, got ${colour(frame.subarray(f, f + 3))}`;
        }
    }
    for (let y = 0; y < FRAME_HEIGHT; ++y) {
        for (let x = 0; x < FRAME_WIDTH; ++x) {
            const inside = x >= box.left && x < box.right && y >= box.top && y < box.bottom;
            const f = (y * FRAME_WIDTH + x) * 4;
            if (!inside && (frame[f] || frame[f + 1] || frame[f + 2]))
                return `frame ${sample} shows ${colour(frame.subarray(f, f + 3))} at (${x}, ${y}) in the border`;
        }
    }
    return null;
}

// A disc in a NuLA's colours says first that it needs one, and waits for
// a key.
async function passNulaWarning(disc, model, machine, failures) {
    if (!disc.nula) return;
    await machine.untilOsrdch(`${disc.name}: the VideoNuLA warning`);
    if (!machine.screenText.includes(NULA_WARNING))
        failures.push(`${disc.name} on ${model}: no VideoNuLA warning before the pictures; the screen shows ` +
                      JSON.stringify(machine.screenText.slice(-160)));
    machine.watchOsrdch(fromBasic);
    await machine.press(keyCodes.SPACE);
}

// After ESCAPE a NuLA must show the machine's own colours.
function checkNulaReset(disc, model, machine, failures) {
    const colours = Array.from(machine.video.ula.collook);
    if (colours.some((c, i) => c !== NULA_RESET[i]))
        failures.push(`${disc.name} on ${model}: after ESCAPE the VideoNuLA's colours are ` +
                      `${colours.map((c) => c.toString(16)).join(",")}, not the machine's own`);
}

// Boots one disc on one machine and checks every picture on it; returns
// the failures.
async function checkDisc(disc, model) {
    const failures = [];
    const machine = await Machine.start(path.join(workDir, disc.name), model);
    machine.watchOsrdch(fromOs);
    await machine.untilOsrdch(`${disc.name}: power on`);
    machine.watchOsrdch(fromBasic);
    await machine.shiftBreak();
    await passNulaWarning(disc, model, machine, failures);
    for (const [index, picture] of disc.pictures.entries()) {
        const where = `${disc.name} on ${model} P${index + 1} (${picture.dump}, MODE ${picture.mode}` +
                      `${picture.palette ? `, palette ${picture.palette}` : ""})`;
        const fail = (message) => failures.push(`${where}: ${message}`);
        const began = machine.cycles;
        machine.returnAddress = await machine.untilOsrdch(where);
        machine.returned = false;
        const seconds = ((machine.cycles - began) / CYCLES_PER_SECOND).toFixed(1);

        const memory = firstDifferentByte(machine, picture);
        if (memory) fail(memory);
        const regs = machine.video.regs;
        const crtcStart = (regs[12] << 8) | regs[13];
        if (crtcStart !== crtcStartOf(picture.mode))
            fail(`the 6845 starts the display at ${hex(crtcStart, 4)}, not ${hex(crtcStartOf(picture.mode), 4)}`);
        let pixels = null;
        for (const [sample, fields] of SAMPLE_FIELDS.entries()) {
            await machine.runFields(fields);
            pixels ??= firstDifferentPixel(machine, picture, sample + 1);
        }
        if (pixels) fail(pixels);
        if (machine.returned) fail("GET$ returned before any key was pressed");

        machine.watchOsrdch(fromBasic);
        await machine.press(keyCodes.SPACE);
        if (!(await machine.runUntil(() => machine.returned, STEP_BUDGET)))
            throw new Error(`${where}: GET$ did not return after SPACE was pressed`);
        machine.returnAddress = null;
        console.log(`${memory || pixels ? "FAIL" : "ok  "} ${where}, shown after ${seconds} s`);
    }

    // The last picture stays after its key, with the program running and
    // reading no more keys, until ESCAPE stops it.
    const last = disc.pictures.at(-1);
    const where = `${disc.name} on ${model} P${disc.pictures.length} (${last.dump}, MODE ${last.mode}` +
                  `${last.palette ? `, palette ${last.palette}` : ""})`;
    await machine.runFields(SAMPLE_FIELDS.reduce((a, b) => a + b));
    const after = firstDifferentPixel(machine, last, "after the last key");
    if (after) failures.push(`${where}: ${after}`);
    if (machine.watch.caller !== null) failures.push(`${where}: the program waited for another key after the last picture`);
    machine.screenText = "";
    machine.watchOsrdch(fromOs);
    await machine.press(keyCodes.ESCAPE);
    await machine.untilOsrdch(`${disc.name}: ESCAPE after the last picture`);
    if (machine.screenText !== escapeText(disc))
        failures.push(`${disc.name} on ${model}: after ESCAPE the screen shows ${JSON.stringify(machine.screenText)}, ` +
                      `expected ${JSON.stringify(escapeText(disc))}`);
    else console.log(`ok   ${disc.name} on ${model}: ESCAPE gives the BASIC prompt`);
    checkNulaReset(disc, model, machine, failures);
    return failures;
}

// Boots a slideshow and watches each picture come in turn, then the first
// again, with no key pressed and no key read; ESCAPE then stops it.
async function checkSlideshow(disc, model) {
    const failures = [];
    const machine = await Machine.start(path.join(workDir, disc.name), model);
    machine.watchOsrdch(fromOs);
    await machine.untilOsrdch(`${disc.name}: power on`);
    machine.watchOsrdch(fromBasic);
    await machine.shiftBreak();
    await passNulaWarning(disc, model, machine, failures);
    const shown = [...disc.pictures.entries(), [0, disc.pictures[0]]];
    let previous = null;
    for (const [index, picture] of shown) {
        const where = `${disc.name} on ${model} P${index + 1} (${picture.dump}, MODE ${picture.mode})`;
        const began = machine.cycles;
        // Each picture stays for the seconds given, then the next replaces it.
        if (previous && !(await machine.runUntil(() => firstDifferentByte(machine, previous) !== null, 3 * disc.seconds * CYCLES_PER_SECOND)))
            throw new Error(`${where}: the picture before stayed longer than ${3 * disc.seconds} s`);
        if (!(await machine.runUntil(() => firstDifferentByte(machine, picture) === null, STEP_BUDGET)))
            throw new Error(`${where}: never in screen memory (${firstDifferentByte(machine, picture)})`);
        const seconds = ((machine.cycles - began) / CYCLES_PER_SECOND).toFixed(1);
        // Once the palette is set: VDU 19 for each of MODE 2's colours
        // takes a few fields.
        await machine.runFields(10);
        const pixels = firstDifferentPixel(machine, picture, 1);
        if (pixels) failures.push(`${where}: ${pixels}`);
        console.log(`${pixels ? "FAIL" : "ok  "} ${where}, shown after ${seconds} s with no key`);
        previous = picture;
    }
    if (machine.watch.caller !== null) failures.push(`${disc.name} on ${model}: the slideshow waited for a key`);
    machine.screenText = "";
    machine.watchOsrdch(fromOs);
    await machine.press(keyCodes.ESCAPE);
    await machine.untilOsrdch(`${disc.name}: ESCAPE during the slideshow`);
    if (machine.screenText !== escapeText(disc))
        failures.push(`${disc.name} on ${model}: after ESCAPE the screen shows ${JSON.stringify(machine.screenText)}`);
    else console.log(`ok   ${disc.name} on ${model}: ESCAPE gives the BASIC prompt`);
    checkNulaReset(disc, model, machine, failures);
    return failures;
}

const started = Date.now();
makeDiscs();
const failures = [];
// The teletext pages must hold what the machine is to be tried on.
const codes = new Set(DISCS.flatMap((disc) => disc.pictures.filter((p) => p.mode === 7).flatMap((p) => [...p.bytes])));
const wanted = { "every graphics colour": [145, 146, 147, 148, 149, 150, 151], separated: [154],
                 "new background": [157], hold: [158] };
for (const [what, list] of Object.entries(wanted))
    if (!list.every((code) => codes.has(code))) failures.push(`no teletext page holds ${what} (${list.join(", ")})`);
for (const disc of DISCS) {
    for (const model of disc.machines) {
        try {
            failures.push(...(await (disc.seconds ? checkSlideshow : checkDisc)(disc, model)));
        } catch (error) {
            failures.push(error.message.startsWith(disc.name) ? error.message : `${disc.name} on ${model}: ${error.message}`);
        }
    }
}
const pictures = DISCS.reduce((sum, disc) => sum + disc.pictures.length, 0);
const took = ((Date.now() - started) / 1000).toFixed(1);
if (failures.length) {
    console.log(`\n${failures.length} check(s) failed (${pictures} pictures on ${DISCS.length} discs, ${took} s):`);
    for (const failure of failures) console.log(`  ${failure}`);
    process.exit(1);
}
console.log(`All ${pictures} pictures on ${DISCS.length} discs match on the emulated machine (${took} s)`);
