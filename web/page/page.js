// The page's controls, on top of window.tarnvil (tarnvil.js): tarnvil-fit
// prepares the picture for the chosen mode, tarnvil converts the PPM it
// writes, and the dump is drawn as tarnvil-view draws it.
"use strict";

(function () {
    const $ = (id) => document.getElementById(id);
    const controls = {
        mode: $("mode"),
        halftone: $("halftone"),
        stagger: $("stagger"),
        aspect: $("aspect"),
        brightness: $("brightness"),
        contrast: $("contrast"),
        saturation: $("saturation"),
        gamma: $("gamma"),
        grey: $("grey"),
    };
    const screen = $("screen");
    const screenContext = screen.getContext("2d");
    const status = $("status");
    const consoleText = $("console");
    const strip = $("strip");

    // What the programs know, from the core once it is ready: the modes,
    // the physical colours' names, each mode's own palette (the physical
    // colour of each logical colour), the halftones, fills, tones and
    // dithers, and the settings' defaults.
    let FACTS = null;
    let OWN_PALETTE = {};

    // The pictures as chosen, in order, each with its name, bytes and
    // tarnvil-fit's results by their options; the one shown.
    let picked = [];
    let source = null;
    // The latest conversion: its names, options and files.
    let current = null;
    const discPictures = [];
    // Updates run one at a time; a change during one asks for another.
    let updating = false;
    let again = false;
    // Set when pictures are dropped or chosen, until their screen is drawn.
    let reveal = false;

    const chosenRadio = (name) => document.querySelector(`input[name="${name}"]:checked`).value;

    function options() {
        return {
            mode: Number(controls.mode.value),
            halftone: Number(controls.halftone.value),
            stagger: controls.stagger.checked,
            aspect: controls.aspect.checked,
            fill: chosenRadio("fill"),
            brightness: Number(controls.brightness.value),
            contrast: Number(controls.contrast.value),
            saturation: Number(controls.saturation.value),
            gamma: controls.gamma.value,
            grey: controls.grey.checked,
            tone: chosenRadio("tone"),
            dither: chosenRadio("dither"),
            palette: $("palette-best").checked ? "auto" : paletteDigits(),
            nula: $("nula").checked,
        };
    }

    // The controls of settings that cannot change the picture under the
    // others (tarnvil's halftone after error diffusion, say) keep their
    // values, and rest: the core says which, by the options it would pass
    // were each set away from its default.
    let applies = { halftone: true, stagger: true, aspect: true, tone: true, dither: true, palette: true };
    async function showApplicable() {
        const other = (choices, chosen) => choices.find((choice) => choice.name !== chosen).name;
        const settings = pictureSettings(options());
        // tarnvil's halftone with the dither chosen; the tone, the dither
        // and the palette in the mode chosen.
        const halftone = await tarnvil.pictureOptions({ ...settings,
            halftone: (FACTS.defaults.halftone + 1) % FACTS.halftones.length, stagger: true, aspect: true });
        const colour = await tarnvil.pictureOptions({ ...settings, tone: other(FACTS.tones, FACTS.defaults.tone),
            dither: other(FACTS.dithers, FACTS.defaults.dither), nula: false, palette: "auto" });
        applies = Object.fromEntries(Object.keys(applies).map((key) => [key, key in halftone || key in colour]));
        for (const key of ["halftone", "stagger", "aspect"]) applies[key] = key in halftone;
        for (const key of ["halftone", "stagger", "aspect"]) controls[key].disabled = !applies[key];
        for (const name of ["tone", "dither"])
            for (const radio of document.querySelectorAll(`input[name="${name}"]`)) radio.disabled = !applies[name];
        $("palette-set").hidden = !applies.palette;
    }

    // Whether `mode` is MODE 7's teletext, whose pictures tarnvil-fit makes
    // into pages itself.
    const isTeletext = (mode) => Boolean(FACTS.modes.find((entry) => entry.mode === Number(mode))?.teletext);

    // A choice among named ones as radio buttons in `set`, each labelled
    // with its name and what it does, the default checked.
    function buildChoices(set, name, choices, chosen) {
        for (const choice of choices) {
            const line = document.createElement("div");
            line.className = "check";
            const radio = document.createElement("input");
            radio.type = "radio";
            radio.name = name;
            radio.id = `${name}-${choice.name}`;
            radio.value = choice.name;
            radio.checked = choice.name === chosen;
            const label = document.createElement("label");
            label.htmlFor = radio.id;
            label.textContent = `${choice.name}: ${choice.does}`;
            line.append(radio, label);
            set.append(line);
        }
    }

    // The controls the programs' tables make: the modes, the halftones,
    // fills, tones and dithers.
    function buildControls() {
        for (const { mode, width, height, colours, teletext } of FACTS.modes) {
            const label = teletext ? `${mode}: teletext, ${width} × ${height} characters` : `${mode}: ${width} × ${height}, ${colours} colours`;
            controls.mode.append(new Option(label, String(mode)));
        }
        controls.mode.value = String(FACTS.defaults.mode);
        FACTS.halftones.forEach((name, halftone) => controls.halftone.append(new Option(`${halftone}: ${name}`, String(halftone))));
        controls.halftone.value = String(FACTS.defaults.halftone);
        buildChoices($("fill-set"), "fill", FACTS.fills, FACTS.defaults.fill);
        buildChoices($("light-set"), "tone", FACTS.tones, FACTS.defaults.tone);
        buildChoices($("dither-set"), "dither", FACTS.dithers, FACTS.defaults.dither);
        buildStrip();
    }

    // One control per logical colour of the mode, each offering the eight
    // physical colours; the mode's own palette to begin with.
    function buildPalette(mode) {
        if (!OWN_PALETTE[mode]) return;  // not ready yet
        const colours = $("palette-colours");
        colours.textContent = "";
        [...OWN_PALETTE[mode]].forEach((digit, logical) => {
            const label = document.createElement("label");
            label.htmlFor = `palette-${logical}`;
            label.textContent = `Logical ${logical}`;
            const select = document.createElement("select");
            select.id = `palette-${logical}`;
            FACTS.colours.forEach((name, physical) => select.append(new Option(`${physical}: ${name}`, String(physical))));
            select.value = digit;
            select.addEventListener("change", update);
            colours.append(label, select);
        });
    }

    const paletteDigits = () => [...$("palette-colours").querySelectorAll("select")].map((select) => select.value).join("");

    function showPalette(digits) {
        $("palette-colours").querySelectorAll("select").forEach((select, logical) => {
            select.value = digits[logical];
        });
    }

    // The PPM beside the picture, as tarnvil-fit names it; a PPM chosen
    // as the picture needs a name of its own.
    function ppmName() {
        return source.ppm === source.name ? source.ppm.replace(/\.ppm$/, ".fit.ppm") : source.ppm;
    }

    // The controls' settings as tarnvil-fit's options by their long names.
    const pictureSettings = (settings) => ({ ...settings });

    // How the settings prepare and convert a picture, as tarnvil-fit and
    // tarnvil-disc take them: the fewest options that give them, as the
    // core counts them (the mode always; tarnvil-fit is told the halftone
    // too, which its light-true samples and its palette choice depend on).
    const pictureOptions = (settings) => tarnvil.pictureOptions(pictureSettings(settings));

    async function fitOptions(settings) {
        const chosen = { name: source.name, ...(await pictureOptions(settings)) };
        if (ppmName() !== source.ppm && !isTeletext(settings.mode)) chosen.output = ppmName();
        return chosen;
    }

    async function fit(settings) {
        const chosen = await fitOptions(settings);
        const key = JSON.stringify(chosen);
        if (!source.fitted.has(key)) source.fitted.set(key, await tarnvil.fit(source.bytes, chosen));
        return source.fitted.get(key);
    }

    // Each canvas shows its picture (tarnvil-view's 640 x 512) at the size
    // it is displayed, in device pixels, averaged in light by the core, and
    // again whenever that size changes. The browser's own scaling would drop
    // dots, or average their samples and darken every halftone.
    const pictures = new Map();  // canvas -> the picture it shows
    const sizes = new Map();  // canvas -> its [width, height] in device pixels
    const paints = new Map();  // canvas -> the number of its latest paint
    let painted = 0;
    let painting = 0;

    async function paint(canvas) {
        const picture = pictures.get(canvas);
        if (!picture) return;
        const [width, height] = sizes.get(canvas) ?? [picture.width, picture.height];
        if (width < 1 || height < 1) return;  // not shown
        const number = ++painted;
        paints.set(canvas, number);
        ++painting;
        document.body.dataset.painting = "true";
        try {
            const same = width === picture.width && height === picture.height;
            const shown = same ? picture : await tarnvil.scale(picture, width, height);
            if (paints.get(canvas) !== number) return;  // a later paint draws it
            canvas.width = width;
            canvas.height = height;
            canvas.getContext("2d").putImageData(new ImageData(shown.rgba, width, height), 0, 0);
        } finally {
            if (--painting === 0) delete document.body.dataset.painting;
        }
    }

    const resized = new ResizeObserver((entries) => {
        for (const { target, devicePixelContentBoxSize: box, contentRect } of entries) {
            // Where the browser does not say how many device pixels the
            // canvas covers, its CSS size times the ratio comes closest.
            const size = box?.[0] ? [box[0].inlineSize, box[0].blockSize]
                : [Math.round(contentRect.width * devicePixelRatio), Math.round(contentRect.height * devicePixelRatio)];
            const before = sizes.get(target);
            sizes.set(target, size);
            if (before?.[0] === size[0] && before?.[1] === size[1]) continue;
            paint(target).catch((error) => {
                status.textContent = `Something went wrong: ${error.message}`;
            });
        }
    });

    function observe(canvas) {
        try {
            resized.observe(canvas, { box: "device-pixel-content-box" });
        } catch {
            resized.observe(canvas);
        }
    }

    function drawScreen(canvas, picture) {
        // MODE 7's display is 640 x 500, the others' 640 x 512.
        canvas.style.aspectRatio = `${picture.width} / ${picture.height}`;
        pictures.set(canvas, picture);
        return paint(canvas);
    }

    function blank(canvas) {
        pictures.delete(canvas);
        paints.set(canvas, ++painted);
        const context = canvas.getContext("2d");
        context.fillStyle = "#000";
        context.fillRect(0, 0, canvas.width, canvas.height);
    }

    function describe(settings) {
        if (!applies.halftone) return `MODE ${settings.mode}, dithered: ${settings.dither}`;
        const halftone = `${FACTS.halftones[settings.halftone]} halftoning${settings.stagger ? ", staggered" : ""}`;
        return `MODE ${settings.mode}, ${halftone}${settings.aspect && applies.aspect ? ", aspect-corrected" : ""}`;
    }

    async function convertWith(settings) {
        const prepared = await fit(settings);
        // In MODE 7 tarnvil-fit writes the page itself, NAME.bbc, as the
        // picture's name has it: no PPM, no tarnvil.
        if (isTeletext(settings.mode)) {
            const name = source.ppm.replace(/\.ppm$/, "");
            return { console: prepared.error ?? "", dump: prepared.dump, inf: prepared.inf, argument: null, name, prepared,
                settings, palette: null };
        }
        const name = ppmName();
        const argument = (await tarnvil.optionBlock(settings)) + name;
        if (!prepared.ppm) return { console: prepared.error, dump: null, inf: null, argument, name, prepared, settings };
        const result = await tarnvil.convert(argument, prepared.ppm);
        // The colours the screen shows: a VideoNuLA's, or the palette chosen
        // or found.
        const palette = prepared.nula ?? prepared.palette ??
            (settings.palette === "auto" ? OWN_PALETTE[settings.mode] : settings.palette);
        return { ...result, argument, name, ppm: prepared.ppm, prepared, settings, palette };
    }

    // The screen, the messages and the downloads for the chosen options.
    async function showScreen() {
        const settings = options();
        const start = performance.now();
        const result = await convertWith(settings);
        if (result.dump) {
            await drawScreen(screen, await tarnvil.preview(settings.mode, result.dump, result.palette));
            screen.setAttribute("aria-label", `The BBC Micro's screen: ${result.name} in ${describe(settings)}`);
        } else {
            blank(screen);
            screen.setAttribute("aria-label", `The BBC Micro's screen: ${result.name} could not be converted`);
        }
        performance.measure("tarnvil screen", { start, end: performance.now() });
        current = result;
        consoleText.textContent = result.prepared.console + result.console;
        $("fit-command").textContent = result.prepared.command;
        $("command").textContent = result.argument === null ? "" : await tarnvil.command(["tarnvil", result.argument]);
        const own = !result.palette || result.palette === OWN_PALETTE[settings.mode];
        $("view-command").textContent = await tarnvil.command(
            ["tarnvil-view", "-m", settings.mode, ...(own ? [] : tarnvil.paletteWords(result.palette)), `${result.name}.bbc`]);
        if (settings.palette === "auto" && result.palette && !result.prepared.nula) showPalette(result.palette);
        $("nula-colours").hidden = !result.prepared.nula;
        $("nula-colours").textContent = result.prepared.nula ? `The VideoNuLA's colours: ${result.prepared.nula}` : "";
        await showDiscCommand();
        $("save-dump").disabled = !result.dump;
        $("save-inf").disabled = !result.inf;
        $("save-ppm").disabled = !result.ppm;
        $("disc-add").disabled = !result.dump;
        $("save-dump").textContent = `Dump: ${result.name}.bbc`;
        $("save-inf").textContent = `INF sidecar: ${result.name}.bbc.inf`;
        $("save-ppm").textContent = `Scaled picture (PPM): ${result.name}`;
    }

    // Every halftone with and without stagger, in the chosen mode and fit;
    // each tile selects its options.
    function buildStrip() {
        strip.textContent = "";
        for (const stagger of [false, true]) {
            for (let halftone = 0; halftone < FACTS.halftones.length; ++halftone) {
                const button = document.createElement("button");
                button.type = "button";
                button.className = "tile";
                button.dataset.halftone = String(halftone);
                button.dataset.stagger = String(stagger);
                const canvas = document.createElement("canvas");
                canvas.width = 640;
                canvas.height = 512;
                blank(canvas);
                observe(canvas);
                const caption = document.createElement("span");
                caption.textContent = `${halftone}: ${FACTS.halftones[halftone]}${stagger ? ", staggered" : ""}`;
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

    // Each tile is the picture prepared for its halftone (light-true
    // samples differ without one) and converted with it. Where the
    // halftone changes nothing (after error diffusion) there is none to
    // choose: a note says so instead.
    async function showStrip() {
        const settings = options();
        strip.hidden = !applies.halftone;
        $("strip-note").hidden = applies.halftone;
        if (!applies.halftone) return;
        const start = performance.now();
        for (const button of strip.children) {
            const halftone = Number(button.dataset.halftone);
            const stagger = button.dataset.stagger === "true";
            const tile = { ...settings, halftone, stagger };
            const canvas = button.querySelector("canvas");
            const result = await convertWith(tile);
            if (result.dump) await drawScreen(canvas, await tarnvil.preview(tile.mode, result.dump, result.palette));
            else blank(canvas);
            const chosen = halftone === settings.halftone && stagger === settings.stagger;
            button.setAttribute("aria-pressed", String(chosen));
            button.setAttribute("aria-label", `${describe(tile)}${chosen ? " (chosen)" : ""}`);
        }
        performance.measure("tarnvil strip", { start, end: performance.now() });
    }

    async function update() {
        if (!source) {
            await showApplicable();
            return;
        }
        if (updating) {
            again = true;
            return;
        }
        updating = true;
        document.body.dataset.busy = "true";
        try {
            do {
                again = false;
                await showApplicable();
                await showScreen();
                if (reveal) bringScreenIntoView();
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

    // On a phone the screen sits below every control: after a drop, or a
    // choice of files, it comes into view with its heading, so that the
    // drop changes what is seen. Where it is in view already, nothing moves.
    function bringScreenIntoView() {
        reveal = false;
        const box = screen.getBoundingClientRect();
        if (box.top < 0 || box.bottom > window.innerHeight) $("screen-heading").scrollIntoView({ block: "start" });
    }

    function load(files) {
        loadFiles([...files]).catch((error) => {
            status.textContent = `${files.length > 1 ? "The pictures" : files[0].name} could not be read: ${error.message}`;
        });
    }

    async function loadFiles(files) {
        const start = performance.now();
        status.textContent = `Reading ${files.map((file) => file.name).join(", ")}…`;
        picked = await Promise.all(files.map(async (file) => ({
            name: file.name,
            ppm: await tarnvil.ppmName(file.name),
            bytes: new Uint8Array(await file.arrayBuffer()),
            fitted: new Map(),
        })));
        $("save-picture-disc").disabled = false;
        reveal = true;
        await show(0);
        performance.measure("tarnvil picture", { start, end: performance.now() });
    }

    // Shows the `index`th chosen picture; with more than one, a list of
    // them picks which.
    async function show(index) {
        source = picked[index];
        const list = $("chosen-list");
        list.textContent = "";
        list.hidden = picked.length < 2;
        picked.forEach((picture, i) => {
            const item = document.createElement("li");
            const button = document.createElement("button");
            button.type = "button";
            button.textContent = picture.name;
            button.setAttribute("aria-pressed", String(i === index));
            button.addEventListener("click", () => show(i));
            item.append(button);
            list.append(item);
        });
        const others = picked.length > 1 ? ` (${picked.length} pictures chosen: each goes on a disc in this order)` : "";
        status.textContent = `${source.name}: prepared by tarnvil-fit for the chosen screen.${others}`;
        await update();
    }

    // A disc's name follows its title; .dsd for both sides.
    const discFileName = (title) => `${title.replace(/[^A-Za-z0-9_-]+/g, "") || "pictures"}.${$("disc-sides").value}`;

    // The disc's own settings: title, tracks (80 unsaid), its name and the
    // slideshow's seconds (none unsaid).
    function discSettings() {
        const title = $("disc-title").value;
        const tracks = Number($("disc-tracks").value);
        const seconds = $("disc-seconds").value.trim();
        return { title, tracks: tracks === 80 ? null : tracks, output: discFileName(title), seconds: seconds || null };
    }

    async function pictureDiscRequest() {
        return { ...discSettings(), options: await pictureOptions(options()),
            pictures: picked.map(({ name, bytes }) => ({ name, bytes })) };
    }

    async function showDiscCommand() {
        if (picked.length) $("disc-command").textContent = await tarnvil.pictureDiscCommand(await pictureDiscRequest());
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

    // Says which disc went to the browser's downloads, and what it holds,
    // in tarnvil-disc's words.
    function confirmDisc(name, result) {
        $("disc-saved").textContent = result.ssd ? `Downloaded ${name}. ${result.summary.trim()}. Boot it with SHIFT+BREAK.` : "";
    }

    function showDiscList() {
        const list = $("disc-list");
        list.textContent = "";
        discPictures.forEach((picture, i) => {
            const item = document.createElement("li");
            const palette = picture.palette && picture.palette !== OWN_PALETTE[picture.mode] ? `, palette ${picture.palette}` : "";
            item.textContent = `${picture.name}, MODE ${picture.mode}${palette} `;
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
        controls.mode.addEventListener("change", () => buildPalette(Number(controls.mode.value)));
        for (const control of Object.values(controls)) control.addEventListener("change", update);
        $("palette-best").addEventListener("change", update);
        $("nula").addEventListener("change", update);
        for (const radio of document.querySelectorAll('input[name="fill"], input[name="tone"], input[name="dither"]'))
            radio.addEventListener("change", update);
        for (const slider of [controls.brightness, controls.contrast, controls.saturation, controls.gamma]) {
            slider.addEventListener("input", () => {
                $(`${slider.id}-value`).textContent = slider.value;
            });
        }

        const file = $("file");
        file.addEventListener("change", () => {
            if (file.files.length) load(file.files);
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
                const dropped = event.dataTransfer && event.dataTransfer.files;
                if (dropped && dropped.length) load(dropped);
            });
        }

        $("save-dump").addEventListener("click", () => download(`${current.name}.bbc`, current.dump));
        $("save-inf").addEventListener("click", () => download(`${current.name}.bbc.inf`, current.inf));
        $("save-ppm").addEventListener("click", () => download(current.name, current.ppm));
        $("disc-add").addEventListener("click", () => {
            discPictures.push({ name: `${current.name}.bbc`, mode: current.settings.mode, palette: current.palette,
                dump: current.dump, inf: current.inf });
            showDiscList();
            $("disc-message").textContent = "";
        });
        $("save-disc").addEventListener("click", async () => {
            const request = discSettings();
            const result = await tarnvil.disc({ ...request, tracks: Number($("disc-tracks").value), pictures: discPictures });
            $("disc-message").textContent = result.error || result.warning || "";
            if (result.ssd) download(request.output, result.ssd);
            confirmDisc(request.output, result);
        });
        $("save-picture-disc").addEventListener("click", async () => {
            const request = await pictureDiscRequest();
            $("disc-message").textContent = "";
            $("disc-saved").textContent = "";
            document.body.dataset.discBusy = "true";
            try {
                const result = await tarnvil.pictureDisc(request);
                $("disc-message").textContent = result.error || result.warning || "";
                if (result.ssd) download(request.output, result.ssd);
                confirmDisc(request.output, result);
            } finally {
                delete document.body.dataset.discBusy;
            }
        });
        $("disc-title").addEventListener("input", showDiscCommand);
        for (const id of ["disc-tracks", "disc-sides", "disc-seconds"]) $(id).addEventListener("change", showDiscCommand);
    }

    observe(screen);
    tarnvil.ready.then(
        async () => {
            FACTS = await tarnvil.facts();
            OWN_PALETTE = FACTS.palettes;
            buildControls();
            wire();
            buildPalette(Number(controls.mode.value));
            status.textContent = "Ready: drop a picture or choose one.";
            document.body.dataset.ready = "true";
        },
        (error) => {
            status.textContent = `The converter could not be loaded: ${error}`;
        },
    );
})();
