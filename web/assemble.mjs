// Puts the page together: node assemble.mjs MODULE_DIR PAGE_DIR OUTPUT_DIR.
// The WebAssembly goes into tarnvil-core.js as base64, beside the module's
// own script, so a classic <script src> brings everything: pages opened
// from file:// may not fetch, and the page fetches nothing anyway.
import { mkdirSync, readFileSync, readdirSync, writeFileSync, copyFileSync } from "node:fs";
import { join } from "node:path";

const [moduleDir, pageDir, outputDir] = process.argv.slice(2);
if (!outputDir) {
    console.error("usage: node assemble.mjs MODULE_DIR PAGE_DIR OUTPUT_DIR");
    process.exit(2);
}
mkdirSync(outputDir, { recursive: true });
const script = readFileSync(join(moduleDir, "tarnvil-core.js"), "utf8");
const wasm = readFileSync(join(moduleDir, "tarnvil-core.wasm"));
writeFileSync(
    join(outputDir, "tarnvil-core.js"),
    `${script}\nvar tarnvilCoreWasm = "${wasm.toString("base64")}";\n`,
);
for (const file of readdirSync(pageDir)) copyFileSync(join(pageDir, file), join(outputDir, file));
