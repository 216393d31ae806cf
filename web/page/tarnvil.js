// tarnvil's script interface: window.tarnvil, the same calls the page's own
// controls use. Each call runs tarnvil's C++ core, compiled to WebAssembly
// (tarnvil-core.js), on bytes in memory:
//
//   await tarnvil.ready
//   await tarnvil.convert(argument, bytes)  -> { console, dump, inf }
//   await tarnvil.preview(mode, dump)       -> { width, height, rgba }
//   await tarnvil.disc({ title, tracks, pictures: [{ mode, dump, inf, name }] })
//                                           -> { ssd, error }
//
// The README's "In the browser" section describes each one.
"use strict";

(function () {
    const encoder = new TextEncoder();
    const decoder = new TextDecoder();

    // Standard output of the core, byte by byte, and what it goes to.
    let sink = null;
    const collect = (byte) => {
        if (sink) sink.push(byte);
    };

    function decodeBase64(text) {
        const binary = atob(text);
        const bytes = new Uint8Array(binary.length);
        for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
        return bytes;
    }

    const ready = createTarnvilCore({
        wasmBinary: decodeBase64(tarnvilCoreWasm),
        stdout: collect,
        stderr: collect,
        print: () => {},
        printErr: () => {},
    });

    // Where each conversion's files live: a fresh folder, so a name that is
    // relative to the command line's working folder means the same here.
    const home = "/convert";

    function asBytes(value, what) {
        if (value instanceof Uint8Array) return value;
        if (value instanceof ArrayBuffer) return new Uint8Array(value);
        if (ArrayBuffer.isView(value)) return new Uint8Array(value.buffer, value.byteOffset, value.byteLength);
        throw new TypeError(`tarnvil: ${what} must be a Uint8Array or an ArrayBuffer`);
    }

    // A NUL-terminated UTF-8 copy of `text` in the module's memory; the
    // caller frees it.
    function cString(core, text) {
        const bytes = encoder.encode(text);
        const at = core._malloc(bytes.length + 1);
        if (!at) throw new Error("tarnvil: out of memory");
        core.HEAPU8.set(bytes, at);
        core.HEAPU8[at + bytes.length] = 0;
        return at;
    }

    function exists(core, path) {
        return core.FS.analyzePath(path).exists;
    }

    function readFileOrNull(core, path) {
        const found = core.FS.analyzePath(path);
        if (!found.exists || core.FS.isDir(found.object.mode)) return null;
        return core.FS.readFile(path);
    }

    // Removes a folder tree of the in-memory file system.
    function removeTree(core, path) {
        const { FS } = core;
        if (!exists(core, path)) return;
        const node = FS.lstat(path);
        if (!FS.isDir(node.mode)) {
            FS.unlink(path);
            return;
        }
        for (const entry of FS.readdir(path)) {
            if (entry !== "." && entry !== "..") removeTree(core, `${path}/${entry}`);
        }
        FS.rmdir(path);
    }

    // Puts the bytes where the core will open the name from the working
    // folder, making every folder the name passes through, as they would
    // have to exist for the command line ("a/../pic.ppm" needs a folder a).
    // The module's own system folders cannot hold the caller's files, so
    // names that reach into them are refused. Returns the file's path and
    // the folders made, innermost first.
    function placeInput(core, name, bytes) {
        const { FS } = core;
        // An empty name, or one that can only be a folder ("pic/", "."),
        // names no file: the core reports it as the command line would.
        if (name === "" || name.endsWith("/") || /(^|\/)\.\.?$/.test(name)) return [];
        const refuse = () => {
            throw new RangeError(`tarnvil.convert: the name "${name}" reaches into a folder the page keeps for itself`);
        };
        const at = name.startsWith("/") ? [] : home.split("/").filter(Boolean);
        const made = [];
        const steps = name.split("/");
        for (const step of steps.slice(0, -1)) {
            if (step === "" || step === ".") continue;
            if (step === "..") {
                at.pop();
                continue;
            }
            at.push(step);
            if (["dev", "proc", "tmp", "home"].includes(at[0])) refuse();
            const folder = `/${at.join("/")}`;
            if (!exists(core, folder)) {
                FS.mkdir(folder);
                made.push(folder);
            } else if (!FS.isDir(FS.stat(folder).mode)) {
                refuse();
            }
        }
        at.push(steps[steps.length - 1]);
        const path = `/${at.join("/")}`;
        if (["dev", "proc", "tmp", "home"].includes(at[0]) || exists(core, path)) refuse();
        FS.writeFile(path, bytes);
        return [path, ...made.reverse()];
    }

    async function convert(argument, bytes) {
        const core = await ready;
        if (typeof argument !== "string") throw new TypeError("tarnvil.convert: the argument must be a string");
        const input = asBytes(bytes, "the file's bytes");
        const { FS } = core;
        const text = cString(core, argument);
        let created = [];
        try {
            sink = null;
            const offset = core._tarnvil_name_offset(text);
            // Up to the first NUL, where the core's C string ends.
            let end = text + offset;
            while (core.HEAPU8[end] !== 0) ++end;
            const name = decoder.decode(core.HEAPU8.subarray(text + offset, end));
            FS.mkdir(home);
            FS.chdir(home);
            created = placeInput(core, name, input);
            const printed = [];
            sink = printed;
            core._tarnvil_convert(text);
            sink = null;
            const base = name.startsWith("/") ? name : `${home}/${name}`;
            return {
                console: decoder.decode(new Uint8Array(printed)),
                dump: name === "" ? null : readFileOrNull(core, `${base}.bbc`),
                inf: name === "" ? null : readFileOrNull(core, `${base}.bbc.inf`),
            };
        } finally {
            sink = null;
            core._free(text);
            FS.chdir("/");
            const name = created[0];
            if (name) {
                for (const path of [`${name}.bbc`, `${name}.bbc.inf`, name]) {
                    if (exists(core, path)) removeTree(core, path);
                }
            }
            for (const folder of created.slice(1)) {
                if (exists(core, folder) && FS.readdir(folder).length <= 2) FS.rmdir(folder);
            }
            removeTree(core, home);
        }
    }

    function modeText(mode, fallback) {
        return mode === undefined || mode === null ? fallback : String(mode);
    }

    async function preview(mode, dump) {
        const core = await ready;
        const bytes = asBytes(dump, "the dump");
        const buffer = core._tarnvil_preview_buffer();
        const size = Math.min(bytes.length, 20481);
        core.HEAPU8.set(bytes.subarray(0, size), buffer);
        const text = cString(core, modeText(mode, "2"));
        try {
            const rgba = core._tarnvil_preview(text, size);
            if (!rgba) throw new Error(core.UTF8ToString(core._tarnvil_message()).trimEnd());
            return {
                width: 640,
                height: 512,
                rgba: new Uint8ClampedArray(core.HEAPU8.slice(rgba, rgba + 640 * 512 * 4).buffer),
            };
        } finally {
            core._free(text);
        }
    }

    async function disc(request = {}) {
        const core = await ready;
        const { title, tracks, pictures = [] } = request;
        const strings = [];
        const string = (value) => {
            const at = cString(core, value);
            strings.push(at);
            return at;
        };
        try {
            core._tarnvil_disc_start(
                tracks === undefined || tracks === null ? 0 : string(String(tracks)),
                title === undefined || title === null ? 0 : string(String(title)),
            );
            pictures.forEach((picture, i) => {
                const dump = picture.dump === null || picture.dump === undefined ? null : asBytes(picture.dump, "a dump");
                const inf =
                    picture.inf === null || picture.inf === undefined
                        ? null
                        : typeof picture.inf === "string"
                          ? encoder.encode(picture.inf)
                          : asBytes(picture.inf, "a sidecar");
                const label = picture.name === undefined || picture.name === null ? `P${i + 1}` : String(picture.name);
                const at = core._tarnvil_disc_picture(
                    string(label),
                    string(modeText(picture.mode, "2")),
                    dump ? Math.min(dump.length, 20481) : -1,
                    inf ? Math.min(inf.length, 256) : -1,
                );
                if (!at) return;
                if (dump) core.HEAPU8.set(dump.subarray(0, 20481), at);
                if (inf) core.HEAPU8.set(inf.subarray(0, 256), at + 20481);
            });
            const image = core._tarnvil_disc_build();
            if (!image) return { ssd: null, error: core.UTF8ToString(core._tarnvil_message()) };
            return { ssd: core.HEAPU8.slice(image, image + core._tarnvil_disc_size()), error: null };
        } finally {
            for (const at of strings) core._free(at);
        }
    }

    window.tarnvil = {
        ready: ready.then(() => undefined),
        convert,
        preview,
        disc,
    };
})();
