// The page's controls, on top of window.tarnvil (tarnvil.js): the picture
// is scaled by the browser to the size the chosen mode wants, handed to the
// converter as a binary PPM under its file name, and the dump it writes is
// drawn as tarnvil-view draws it.
"use strict";

(function () {
    const $ = (id) => document.getElementById(id);
    const controls = {
        mode: $("mode"),
        halftone: $("halftone"),
        stagger: $("stagger"),
        aspect: $("aspect"),
    };
    const screen = $("screen");
    const screenContext = screen.getContext("2d");
    const status = $("status");
    const consoleText = $("console");
    const strip = $("strip");

    const HALFTONES = ["none", "fine", "coarse", "spiral", "diagonal"];

    // The picture: either one the browser decodes (scaled here), or a PPM
    // file, which goes to the converter as it is, as on the command line.
    let source = null;
    // The scaled PPMs of the current picture, by fill and width.
    let scaled = new Map();
    // The latest conversion: its name, options and files.
    let current = null;
    const discPictures = [];
    // Updates run one at a time; a change during one asks for another.
    let updating = false;
    let again = false;

    function options() {
        return {
            mode: Number(controls.mode.value),
            halftone: Number(controls.halftone.value),
            stagger: controls.stagger.checked,
            aspect: controls.aspect.checked,
            fill: document.querySelector('input[name="fill"]:checked').value,
        };
    }

    // The option block, always with its mode, so a name that starts with
    // "-" still reads as a name.
    function optionBlock({ mode, halftone, stagger, aspect }) {
        let block = "-";
        if (halftone !== 1 || stagger) block += `h${stagger ? "s" : ""}${halftone}`;
        if (aspect) block += "a";
        return block + mode;
    }

    function shellQuote(text) {
        return /^[A-Za-z0-9_.,+=:/@%-]+$/.test(text) ? text : `'${text.replace(/'/g, "'\\''")}'`;
    }

    // Source width that fills the screen (the README's table); always 256
    // lines.
    function sourceWidth({ mode, aspect }) {
        if (aspect) return 320;
        return mode === 0 ? 640 : mode === 2 || mode === 5 ? 160 : 320;
    }

    // The picture scaled for the screen, as a binary PPM. The screen is 640
    // x 512 display dots whatever the mode, and each of the `width` source
    // columns spans 640 / width of them, each line two: the picture is
    // scaled in dots, so it keeps its proportions on the machine.
    function scaledPpm(width, fill) {
        const key = `${fill} ${width}`;
        if (scaled.has(key)) return scaled.get(key);
        const height = 256;
        const canvas = document.createElement("canvas");
        canvas.width = width;
        canvas.height = height;
        const context = canvas.getContext("2d", { willReadFrequently: true });
        context.fillStyle = "#000";
        context.fillRect(0, 0, width, height);
        const { bitmap } = source;
        const fit = fill === "fit" ? Math.min : Math.max;
        const scale = fit(640 / bitmap.width, 512 / bitmap.height);
        const dotsWide = bitmap.width * scale;
        const dotsHigh = bitmap.height * scale;
        const across = width / 640;
        context.imageSmoothingEnabled = true;
        context.imageSmoothingQuality = "high";
        context.drawImage(bitmap, ((640 - dotsWide) / 2) * across, (512 - dotsHigh) / 4, dotsWide * across, dotsHigh / 2);
        const rgba = context.getImageData(0, 0, width, height).data;
        const header = new TextEncoder().encode(`P6\n${width} ${height}\n255\n`);
        const ppm = new Uint8Array(header.length + width * height * 3);
        ppm.set(header);
        for (let i = 0, o = header.length; i < rgba.length; i += 4, o += 3) {
            ppm[o] = rgba[i];
            ppm[o + 1] = rgba[i + 1];
            ppm[o + 2] = rgba[i + 2];
        }
        scaled.set(key, ppm);
        return ppm;
    }

    function inputFor(settings) {
        if (source.kind === "ppm") return { name: source.name, bytes: source.bytes };
        return { name: source.name, bytes: scaledPpm(sourceWidth(settings), settings.fill) };
    }

    function drawScreen(canvas, picture) {
        canvas.getContext("2d").putImageData(new ImageData(picture.rgba, picture.width, picture.height), 0, 0);
    }

    function blank(canvas) {
        const context = canvas.getContext("2d");
        context.fillStyle = "#000";
        context.fillRect(0, 0, canvas.width, canvas.height);
    }

    function describe(settings) {
        const halftone = `${HALFTONES[settings.halftone]} halftoning${settings.stagger ? ", staggered" : ""}`;
        return `MODE ${settings.mode}, ${halftone}${settings.aspect ? ", aspect-corrected" : ""}`;
    }

    async function convertWith(settings) {
        const input = inputFor(settings);
        const argument = optionBlock(settings) + input.name;
        const result = await tarnvil.convert(argument, input.bytes);
        return { ...result, argument, name: input.name, ppm: input.bytes, settings };
    }

    // The screen, the messages and the downloads for the chosen options.
    async function showScreen() {
        const settings = options();
        const start = performance.now();
        const result = await convertWith(settings);
        if (result.dump) {
            drawScreen(screen, await tarnvil.preview(settings.mode, result.dump));
            screen.setAttribute("aria-label", `The BBC Micro's screen: ${result.name} in ${describe(settings)}`);
        } else {
            blank(screen);
            screen.setAttribute("aria-label", `The BBC Micro's screen: ${result.name} could not be converted`);
        }
        performance.measure("tarnvil screen", { start, end: performance.now() });
        current = result;
        consoleText.textContent = result.console;
        $("command").textContent = `tarnvil ${shellQuote(result.argument)}`;
        $("save-dump").disabled = !result.dump;
        $("save-inf").disabled = !result.inf;
        $("save-ppm").disabled = false;
        $("disc-add").disabled = !result.dump;
        $("save-dump").textContent = `Dump: ${result.name}.bbc`;
        $("save-inf").textContent = `INF sidecar: ${result.name}.bbc.inf`;
        $("save-ppm").textContent = source.kind === "ppm" ? `Picture (PPM): ${result.name}` : `Scaled picture (PPM): ${result.name}`;
    }

    // Every halftone with and without stagger, in the chosen mode and fit;
    // each tile selects its options.
    function buildStrip() {
        strip.textContent = "";
        for (const stagger of [false, true]) {
            for (let halftone = 0; halftone < HALFTONES.length; ++halftone) {
                const button = document.createElement("button");
                button.type = "button";
                button.className = "tile";
                button.dataset.halftone = String(halftone);
                button.dataset.stagger = String(stagger);
                const canvas = document.createElement("canvas");
                canvas.width = 640;
                canvas.height = 512;
                blank(canvas);
                const caption = document.createElement("span");
                caption.textContent = `${halftone}: ${HALFTONES[halftone]}${stagger ? ", staggered" : ""}`;
                button.append(canvas, caption);
                button.addEventListener("click", () => {
                    controls.halftone.value = String(halftone);
                    controls.stagger.checked = stagger;
                    update();
                });
                strip.append(button);
            }
        }
    }

    async function showStrip() {
        const settings = options();
        const start = performance.now();
        for (const button of strip.children) {
            const halftone = Number(button.dataset.halftone);
            const stagger = button.dataset.stagger === "true";
            const tile = { ...settings, halftone, stagger };
            const canvas = button.querySelector("canvas");
            const result = await convertWith(tile);
            if (result.dump) drawScreen(canvas, await tarnvil.preview(tile.mode, result.dump));
            else blank(canvas);
            const chosen = halftone === settings.halftone && stagger === settings.stagger;
            button.setAttribute("aria-pressed", String(chosen));
            button.setAttribute("aria-label", `${describe(tile)}${chosen ? " (chosen)" : ""}`);
        }
        performance.measure("tarnvil strip", { start, end: performance.now() });
    }

    async function update() {
        if (!source) return;
        if (updating) {
            again = true;
            return;
        }
        updating = true;
        document.body.dataset.busy = "true";
        try {
            do {
                again = false;
                await showScreen();
                // Let the screen appear before the strip is worked out.
                await new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)));
                if (!again) await showStrip();
            } while (again);
        } catch (error) {
            status.textContent = `Something went wrong: ${error.message}`;
        } finally {
            updating = false;
            delete document.body.dataset.busy;
        }
    }

    function isPpm(name, bytes) {
        return /\.p[pn]m$/i.test(name) || (bytes[0] === 0x50 && bytes[1] === 0x36);
    }

    function load(file) {
        loadFile(file).catch((error) => {
            status.textContent = `${file.name} could not be read: ${error.message}`;
        });
    }

    async function loadFile(file) {
        status.textContent = `Reading ${file.name}…`;
        const bytes = new Uint8Array(await file.arrayBuffer());
        let bitmap = null;
        if (!isPpm(file.name, bytes)) {
            try {
                bitmap = await createImageBitmap(file);
            } catch {
                // Not a picture the browser knows: the converter says what
                // it makes of it, as it would on the command line.
            }
        }
        if (source && source.bitmap) source.bitmap.close();
        scaled = new Map();
        if (bitmap) {
            const base = file.name.replace(/\.[^.]*$/, "") || "picture";
            source = { kind: "image", name: `${base}.ppm`, bitmap };
            status.textContent = `${file.name}: ${bitmap.width} × ${bitmap.height}, scaled by the browser for the screen.`;
        } else {
            source = { kind: "ppm", name: file.name, bytes };
            status.textContent = `${file.name}: converted as it is, as the command line would.`;
        }
        document.getElementById("fill-set").disabled = source.kind === "ppm";
        await update();
    }

    function download(name, bytes) {
        const url = URL.createObjectURL(new Blob([bytes], { type: "application/octet-stream" }));
        const link = document.createElement("a");
        link.href = url;
        link.download = name;
        document.body.append(link);
        link.click();
        link.remove();
        setTimeout(() => URL.revokeObjectURL(url), 10000);
    }

    function showDiscList() {
        const list = $("disc-list");
        list.textContent = "";
        discPictures.forEach((picture, i) => {
            const item = document.createElement("li");
            item.textContent = `${picture.name}, MODE ${picture.mode} `;
            const remove = document.createElement("button");
            remove.type = "button";
            remove.textContent = "Remove";
            remove.setAttribute("aria-label", `Remove picture ${i + 1}, ${picture.name}, from the disc`);
            remove.addEventListener("click", () => {
                discPictures.splice(i, 1);
                showDiscList();
                $("disc-add").focus();
            });
            item.append(remove);
            list.append(item);
        });
        $("save-disc").disabled = discPictures.length === 0;
    }

    function wire() {
        for (const control of Object.values(controls)) control.addEventListener("change", update);
        for (const radio of document.querySelectorAll('input[name="fill"]')) radio.addEventListener("change", update);

        const file = $("file");
        file.addEventListener("change", () => {
            if (file.files.length) load(file.files[0]);
        });
        const drop = $("drop");
        for (const target of [document.body, drop]) {
            target.addEventListener("dragover", (event) => {
                event.preventDefault();
                drop.classList.add("over");
            });
            target.addEventListener("dragleave", () => drop.classList.remove("over"));
            target.addEventListener("drop", (event) => {
                event.preventDefault();
                event.stopPropagation();
                drop.classList.remove("over");
                const dropped = event.dataTransfer && event.dataTransfer.files[0];
                if (dropped) load(dropped);
            });
        }

        $("save-dump").addEventListener("click", () => download(`${current.name}.bbc`, current.dump));
        $("save-inf").addEventListener("click", () => download(`${current.name}.bbc.inf`, current.inf));
        $("save-ppm").addEventListener("click", () => download(current.name, current.ppm));
        $("disc-add").addEventListener("click", () => {
            discPictures.push({ name: `${current.name}.bbc`, mode: current.settings.mode, dump: current.dump, inf: current.inf });
            showDiscList();
            $("disc-message").textContent = "";
        });
        $("save-disc").addEventListener("click", async () => {
            const title = $("disc-title").value;
            const result = await tarnvil.disc({ title, tracks: Number($("disc-tracks").value), pictures: discPictures });
            $("disc-message").textContent = result.error || "";
            if (result.ssd) download(`${title.replace(/[^A-Za-z0-9_-]+/g, "") || "pictures"}.ssd`, result.ssd);
        });
    }

    buildStrip();
    wire();
    tarnvil.ready.then(
        () => {
            status.textContent = "Ready: drop a picture or choose one.";
            document.body.dataset.ready = "true";
        },
        (error) => {
            status.textContent = `The converter could not be loaded: ${error}`;
        },
    );
})();
