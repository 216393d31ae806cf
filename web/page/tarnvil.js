// tarnvil's script interface: window.tarnvil, the same calls the page's own
// controls use. Each call runs the programs' own C++ code, compiled to
// WebAssembly (tarnvil-wasm.js), on bytes in memory:
//
//   await tarnvil.ready
//   await tarnvil.fit(bytes, options)       -> { ppm, dump, inf, palette, nula, console, error, command }
//         (dump and inf: a MODE 7 page and its sidecar, in place of a PPM)
//         (options: tarnvil-fit's by their long names, { mode, aspect, fill, ...,
//          tone: "light" | "plain", dither: "ordered" | "diffuse", halftone, stagger,
//          palette }, and the picture's name)
//   await tarnvil.convert(argument, bytes)  -> { console, dump, inf, name }
//   await tarnvil.preview(mode, dump, palette) -> { width, height, rgba }
//         (palette: digits, or a VideoNuLA's colours, "RGB,RGB,...")
//   await tarnvil.scale(picture, width, height) -> { width, height, rgba }, averaged in light
//   await tarnvil.disc({ title, tracks, output, seconds, pictures: [{ mode, palette, dump, inf, name }] })
//                                           -> { ssd, error, warning, summary }
//   await tarnvil.pictureDisc({ title, tracks, output, seconds, options, pictures: [{ name, bytes }] })
//                                           -> { ssd, error, warning, summary, command }
//   await tarnvil.pictureDiscCommand({ title, tracks, output, seconds, options, pictures: [{ name }] })
//                                           -> the command line that makes that disc
//         (output: a name ending in .dsd makes both sides of the disc)
//   await tarnvil.command(words)            -> the words as one command to paste
//   await tarnvil.optionBlock(options)      -> tarnvil's option block for a picture prepared with them
//   await tarnvil.pictureOptions(options)   -> the fewest of tarnvil-fit's options that give them
//   tarnvil.paletteWords(palette)           -> ["-p", DIGITS] or ["--nula-palette", COLOURS]
//   await tarnvil.ppmName(name)             -> tarnvil-fit's PPM for a picture so named
//   await tarnvil.facts()                   -> { modes, palettes, colours, halftones, fills, tones,
//                                                dithers, defaults, fitOptions, pictureOptions }
//
// The guide's page on the web page describes each one.
"use strict";

(function () {
    const encoder = new TextEncoder();
    const decoder = new TextDecoder();

    function decodeBase64(text) {
        const binary = atob(text);
        const bytes = new Uint8Array(binary.length);
        for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
        return bytes;
    }

    const ready = createTarnvilWasm({ wasmBinary: decodeBase64(tarnvilWasmBytes), print: () => {}, printErr: () => {} });

    function asBytes(value, what) {
        if (value instanceof Uint8Array) return value;
        if (value instanceof ArrayBuffer) return new Uint8Array(value);
        if (ArrayBuffer.isView(value)) return new Uint8Array(value.buffer, value.byteOffset, value.byteLength);
        throw new TypeError(`tarnvil: ${what} must be a Uint8Array or an ArrayBuffer`);
    }

    const optionalBytes = (value, what) => (value === null || value === undefined ? null : asBytes(value, what));

    // The module's memory for one call, freed after it. Memory may grow
    // with each allocation, so its views are looked up at every use.
    function scratch(core) {
        const blocks = [];
        const allocate = (size) => {
            const at = core._malloc(Math.max(size, 1));
            if (!at) throw new Error("tarnvil: out of memory");
            blocks.push(at);
            return at;
        };
        const memory = {
            bytes(data) {
                const at = allocate(data.length);
                core.HEAPU8.set(data, at);
                return at;
            },
            // `count` 32-bit words for the core to fill in.
            words(count) {
                return allocate(4 * count);
            },
            string(text) {
                return memory.bytes(encoder.encode(`${text}\0`));
            },
            // A program's argument vector: its name, then the arguments.
            argv(words) {
                const strings = words.map(memory.string);
                const at = allocate(4 * (strings.length + 1));
                core.HEAP32.set([...strings, 0], at >> 2);
                return at;
            },
            // Each dump named and its sidecar, as the core's PageFile
            // records: address and size of each, -1 for no such file.
            files(list) {
                const words = list.flatMap(({ dump, sidecar }) =>
                    [dump, sidecar].flatMap((bytes) => (bytes ? [memory.bytes(bytes), bytes.length] : [0, -1])));
                const at = allocate(4 * words.length);
                core.HEAP32.set(words, at >> 2);
                return at;
            },
            free() {
                for (const at of blocks) core._free(at);
            },
        };
        return memory;
    }

    const text = (core, at, size) => (at ? decoder.decode(core.HEAPU8.subarray(at, at + size)) : "");
    const printed = (core) => text(core, core._tarnvil_printed(), core._tarnvil_printed_size());
    const complaints = (core) => text(core, core._tarnvil_complaints(), core._tarnvil_complaints_size());
    const copy = (core, at, size) => (size > 0 ? core.HEAPU8.slice(at, at + size) : null);

    async function convert(argument, bytes) {
        const core = await ready;
        if (typeof argument !== "string") throw new TypeError("tarnvil.convert: the argument must be a string");
        const input = asBytes(bytes, "the file's bytes");
        const memory = scratch(core);
        try {
            const offset = core._tarnvil_convert(memory.string(argument), memory.bytes(input), input.length);
            // The name is the argument's text from there to its end, or to
            // a NUL, where the core's C string ends.
            const text = encoder.encode(argument);
            const end = text.indexOf(0);
            return {
                console: printed(core),
                dump: copy(core, core._tarnvil_dump(), core._tarnvil_dump_size()),
                inf: copy(core, core._tarnvil_inf(), core._tarnvil_inf_size()),
                name: decoder.decode(text.subarray(offset, end < 0 ? text.length : end)),
            };
        } finally {
            memory.free();
        }
    }

    function modeText(mode, fallback) {
        return mode === undefined || mode === null ? fallback : String(mode);
    }

    // A palette's words: "-p DIGITS", or a VideoNuLA's colours
    // ("RGB,RGB,...") as "--nula-palette COLOURS".
    const paletteWords = (palette) => (palette === undefined || palette === null ? []
        : String(palette).includes(",") ? ["--nula-palette", String(palette)] : ["-p", String(palette)]);

    async function preview(mode, dump, palette) {
        const core = await ready;
        const files = [{ dump: asBytes(dump, "the dump") }];
        const words = ["tarnvil-view", "-m", modeText(mode, "2"), ...paletteWords(palette), "dump"];
        const memory = scratch(core);
        try {
            if (!core._tarnvil_view(words.length, memory.argv(words), memory.files(files), files.length)) {
                throw new Error(complaints(core).trimEnd());
            }
            const width = core._tarnvil_picture_width();
            const height = core._tarnvil_picture_height();
            const rgba = copy(core, core._tarnvil_picture(), width * height * 4);
            return { width, height, rgba: new Uint8ClampedArray(rgba.buffer) };
        } finally {
            memory.free();
        }
    }

    const given = (value) => value !== undefined && value !== null;

    // A name as a command line's operand, as the programs name files: the
    // core says what it needs before it.
    function operand(core, name) {
        const memory = scratch(core);
        try {
            core._tarnvil_operand(memory.string(name));
            return printed(core);
        } finally {
            memory.free();
        }
    }

    // tarnvil-disc's command line for the request: the options, then -m and
    // a name for each picture.
    async function disc(request = {}) {
        const core = await ready;
        const { title, tracks, output, seconds, pictures = [] } = request;
        const words = ["tarnvil-disc"];
        if (given(output)) words.push(`--output=${output}`);
        if (given(tracks)) words.push(`--tracks=${tracks}`);
        if (given(title)) words.push(`--title=${title}`);
        if (given(seconds)) words.push(`--seconds=${seconds}`);
        const files = pictures.map((picture, i) => {
            const name = given(picture.name) ? String(picture.name) : `P${i + 1}`;
            words.push("-m", modeText(picture.mode, "2"), ...paletteWords(picture.palette), operand(core, name));
            const inf = typeof picture.inf === "string" ? encoder.encode(picture.inf) : optionalBytes(picture.inf, "a sidecar");
            return { dump: optionalBytes(picture.dump, "a dump"), sidecar: inf };
        });
        const memory = scratch(core);
        try {
            const made = core._tarnvil_disc(words.length, memory.argv(words), memory.files(files), files.length);
            // What the disc holds, as tarnvil-disc says it.
            const summary = made ? printed(core) || null : null;
            if (!made) return { ssd: null, error: complaints(core), warning: null, summary };
            const ssd = copy(core, core._tarnvil_disc_image(), core._tarnvil_disc_size());
            return { ssd, error: null, warning: complaints(core) || null, summary };
        } finally {
            memory.free();
        }
    }

    // tarnvil-disc's words for pictures named `names`, all prepared and
    // converted with `options` (mode, palette, and tarnvil-fit's picture
    // options by their long names), in order.
    async function pictureDiscWords(core, { title, tracks, output = "pictures.ssd", seconds, options = {} }, names) {
        const { fitOptions, pictureOptions } = await facts;
        const words = ["tarnvil-disc", "-m", modeText(options.mode, "2"), ...paletteWords(options.palette)];
        for (const [key, value] of Object.entries(options)) {
            if (key === "mode" || key === "palette" || !given(value) || value === false) continue;
            if (!pictureOptions.includes(key)) throw new TypeError(`tarnvil.pictureDisc: no option "${key}"`);
            words.push(`--${key}`, ...(fitOptions[key] === "flag" ? [] : [String(value)]));
        }
        if (given(tracks)) words.push("--tracks", String(tracks));
        words.push("-o", String(output));
        if (given(title)) words.push("--title", String(title));
        if (given(seconds)) words.push("--seconds", String(seconds));
        for (const name of names) words.push(operand(core, name));
        return words;
    }

    const pictureNames = (pictures = []) => pictures.map((picture) => String(picture.name ?? "picture"));

    // The command line that makes that disc from the pictures' files.
    async function pictureDiscCommand(request = {}) {
        const core = await ready;
        return commandOf(core, await pictureDiscWords(core, request, pictureNames(request.pictures)));
    }

    // tarnvil-disc on pictures, each as read from its file and named as its
    // file is. What only the browser decodes (a JPEG) goes to the core as
    // the browser's pixels, as tarnvil.fit hands it over, under its own name.
    async function pictureDisc(request = {}) {
        const core = await ready;
        const { options = {}, pictures = [] } = request;
        const words = await pictureDiscWords(core, request, pictureNames(pictures));
        const command = commandOf(core, words);
        const memory = scratch(core);
        try {
            const files = [];
            for (const picture of pictures) {
                const input = asBytes(picture.bytes, "a picture's bytes");
                const at = memory.bytes(input);
                const ours = core._tarnvil_fit_decodes(at, input.length);
                files.push({ dump: ours ? input : (await decodeInBrowser(core, memory, input, at, options)) ?? input });
            }
            if (!core._tarnvil_disc(words.length, memory.argv(words), memory.files(files), files.length)) {
                return { ssd: null, error: complaints(core), warning: null, summary: null, command };
            }
            const summary = printed(core) || null;
            const ssd = copy(core, core._tarnvil_disc_image(), core._tarnvil_disc_size());
            return { ssd, error: null, warning: complaints(core) || null, summary, command };
        } finally {
            memory.free();
        }
    }

    // What the programs know and the page shows: the modes, the colours'
    // names, the halftones, fills, tones and dithers, and tarnvil-fit's
    // options, from the core.
    const facts = ready.then((core) => {
        core._tarnvil_facts();
        return Object.freeze(JSON.parse(printed(core)));
    });

    // tarnvil-fit's words for `options`, its options by their long names
    // (true for a flag); what is false, null or undefined is left out, and
    // so are the keys in `skip`.
    async function settingsWords(options, skip = []) {
        const { fitOptions } = await facts;
        const words = [];
        for (const [key, value] of Object.entries(options)) {
            if (skip.includes(key) || !given(value) || value === false) continue;
            const kind = fitOptions[key];
            if (!kind) throw new TypeError(`tarnvil: no option "${key}"`);
            words.push(kind === "flag" ? `--${key}` : `--${key}=${value}`);
        }
        return words;
    }

    // Runs one of the core's calls that read settings: `call(argc, argv)`
    // with tarnvil-fit's words for `options`; its answer, or its mistake
    // thrown.
    async function withSettings(options, call) {
        const core = await ready;
        const words = ["tarnvil-fit", ...(await settingsWords(options, ["name", "output"]))];
        const memory = scratch(core);
        try {
            if (!call(core, words.length, memory.argv(words))) throw new Error(complaints(core).trimEnd());
            return printed(core);
        } finally {
            memory.free();
        }
    }

    // tarnvil's option block for a picture prepared with these options.
    const optionBlock = (options = {}) =>
        withSettings(options, (core, argc, argv) => core._tarnvil_option_block(argc, argv));

    // The fewest of tarnvil-fit's options that give these, as the core
    // counts them: the mode, and the others away from their defaults that
    // change the picture.
    const pictureOptions = async (options = {}) =>
        JSON.parse(await withSettings(options, (core, argc, argv) => core._tarnvil_picture_options(argc, argv)));

    // A picture ({ width, height, rgba }, as tarnvil.preview gives it) at
    // `width` x `height`, each pixel the mean light of those it covers: a
    // screen smaller than its 640 x 512 dots shows the light the machine
    // shows, where the browser's own scaling drops dots or darkens them.
    async function scale(picture, width, height) {
        const core = await ready;
        const rgba = asBytes(picture.rgba, "the picture's pixels");
        if (rgba.length !== picture.width * picture.height * 4) throw new RangeError("tarnvil.scale: the pixels are not width x height");
        if (!(Number.isInteger(width) && Number.isInteger(height) && width > 0 && height > 0)) {
            throw new RangeError(`tarnvil.scale: no picture of ${width} x ${height}`);
        }
        const memory = scratch(core);
        try {
            const size = width * height * 4;
            const out = memory.words(Math.ceil(size / 4));
            if (!core._tarnvil_scale(memory.bytes(rgba), picture.width, picture.height, out, width, height)) {
                throw new RangeError(`tarnvil.scale: no picture of ${width} x ${height}`);
            }
            return { width, height, rgba: new Uint8ClampedArray(copy(core, out, size).buffer) };
        } finally {
            memory.free();
        }
    }

    // Where tarnvil-fit writes the PPM of a picture named `name`.
    async function ppmName(name) {
        const core = await ready;
        const memory = scratch(core);
        try {
            if (!core._tarnvil_ppm_name(memory.string(name))) throw new Error("tarnvil: the name is too long");
            return printed(core);
        } finally {
            memory.free();
        }
    }

    // Commands are quoted for the shell a visitor pastes them into: cmd.exe
    // on Windows, a POSIX shell elsewhere; the core quotes them, as the
    // programs do.
    const SHELL = /Windows/.test(navigator.userAgent) ? 1 : 0;
    function commandOf(core, words) {
        const memory = scratch(core);
        try {
            if (!core._tarnvil_command(words.length, memory.argv(words), SHELL)) throw new Error("tarnvil: out of memory");
            return printed(core);
        } finally {
            memory.free();
        }
    }

    async function command(words) {
        const core = await ready;
        if (!Array.isArray(words)) throw new TypeError("tarnvil.command: the words must be an array");
        return commandOf(core, words.map(String));
    }

    // What only the browser decodes, as its pixels, no larger than
    // tarnvil-fit will use: a PAM file tarnvil-fit reads like any other.
    // The browser decodes a JPEG straight at a fraction of its size, as
    // libjpeg-turbo does for tarnvil-fit. Pictures that go through an <img>
    // are kept for the next call with the same bytes, and the last PAM of
    // each picture decoded straight for the next call at its size: the strip
    // fits one picture ten times.
    const decoded = new WeakMap();
    const reduced = new WeakMap();
    async function decodeInBrowser(core, memory, input, at, options) {
        const words = ["tarnvil-fit", ...(await settingsWords(options, ["name", "output"]))];
        const argv = memory.argv(words);
        // Whole size where the settings are no settings: tarnvil-fit then
        // says why.
        const reduction = (width, height) => core._tarnvil_fit_reduction(width, height, words.length, argv) || 1;
        // Where the browser has a decoder to call (WebCodecs), a JPEG asks it
        // for the reduced size at once: no <img> to load first.
        const size = memory.words(2);
        if (typeof ImageDecoder === "function" && core._tarnvil_picture_size(at, input.length, size)) {
            const [shownWidth, shownHeight] = core.HEAP32.subarray(size >> 2, (size >> 2) + 2);
            const reduce = reduction(shownWidth, shownHeight);
            const width = Math.ceil(shownWidth / reduce);
            const height = Math.ceil(shownHeight / reduce);
            const kept = reduced.get(input);
            if (kept && kept.width === width && kept.height === height) return kept.pam;
            let decoder = null;
            let frame = null;
            try {
                decoder = new ImageDecoder({ data: input, type: "image/jpeg", desiredWidth: width, desiredHeight: height });
                frame = (await decoder.decode()).image;
            } catch {
                frame = null;  // not a JPEG the browser takes this way: through an <img>
            } finally {
                decoder?.close();
            }
            if (frame) {
                try {
                    const pam = pamOf(frame, width, height);
                    reduced.set(input, { width, height, pam });
                    return pam;
                } finally {
                    frame.close();
                }
            }
        }
        let image = decoded.get(input.buffer);
        if (!image) {
            image = new Image();
            const url = URL.createObjectURL(new Blob([input]));
            try {
                await new Promise((resolve, reject) => {
                    image.onload = resolve;
                    image.onerror = reject;
                    image.src = url;
                });
            } catch {
                return null;  // no picture the browser knows either
            } finally {
                URL.revokeObjectURL(url);
            }
            decoded.set(input.buffer, image);
        }
        const reduce = reduction(image.naturalWidth, image.naturalHeight);
        return pamOf(image, Math.ceil(image.naturalWidth / reduce), Math.ceil(image.naturalHeight / reduce));
    }

    // A picture the browser decoded, drawn at `width` x `height`, as a PAM
    // for tarnvil-fit.
    function pamOf(image, width, height) {
        const canvas = document.createElement("canvas");
        canvas.width = width;
        canvas.height = height;
        const context = canvas.getContext("2d", { willReadFrequently: true });
        context.imageSmoothingQuality = "high";
        context.drawImage(image, 0, 0, width, height);
        const rgba = context.getImageData(0, 0, width, height).data;
        const header = encoder.encode(`P7\nWIDTH ${width}\nHEIGHT ${height}\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n`);
        const pam = new Uint8Array(header.length + rgba.length);
        pam.set(header);
        pam.set(rgba, header.length);
        return pam;
    }

    // tarnvil-fit on a picture's bytes, named `options.name` (default
    // "picture"), with the other options as on its command line.
    async function fit(bytes, options = {}) {
        const core = await ready;
        const input = asBytes(bytes, "the picture's bytes");
        const name = String(options.name ?? "picture");
        const words = [];
        for (const [key, value] of Object.entries(options)) {
            if (key === "name" || !given(value) || value === false) continue;
            if (key === "output") words.push("-o", String(value));
            else words.push(...(await settingsWords({ [key]: value })));
        }
        words.push(operand(core, name));
        const argv = ["tarnvil-fit", ...words];
        const memory = scratch(core);
        try {
            const at = memory.bytes(input);
            const ours = core._tarnvil_fit_decodes(at, input.length);
            const file = ours ? input : (await decodeInBrowser(core, memory, input, at, options)) ?? input;
            const done = core._tarnvil_fit(argv.length, memory.argv(argv), memory.files([{ dump: file }]), 1);
            const palette = done ? text(core, core._tarnvil_ppm_palette(), 8).replace(/\0.*$/s, "") : "";
            const nula = done ? text(core, core._tarnvil_ppm_nula(), 63).replace(/\0.*$/s, "") : "";
            // In MODE 7 tarnvil-fit writes the page and its sidecar, no PPM.
            const page = done && core._tarnvil_ppm_sidecar_size() > 0;
            const written = done ? copy(core, core._tarnvil_ppm(), core._tarnvil_ppm_size()) : null;
            const result = {
                ppm: page ? null : written,
                dump: page ? written : null,
                inf: page ? copy(core, core._tarnvil_ppm_sidecar(), core._tarnvil_ppm_sidecar_size()) : null,
                palette: palette || null,
                nula: nula || null,
                console: printed(core),
                error: done ? null : complaints(core),
            };
            return { ...result, command: commandOf(core, argv) };
        } finally {
            memory.free();
        }
    }

    window.tarnvil = {
        ready: ready.then(() => undefined),
        fit,
        convert,
        preview,
        scale,
        disc,
        pictureDisc,
        pictureDiscCommand,
        command,
        optionBlock,
        pictureOptions,
        paletteWords,
        ppmName,
        facts: () => facts,
    };
})();
