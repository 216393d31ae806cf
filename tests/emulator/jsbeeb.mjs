// What the emulator tests need before they start: Node.js 18 or later and
// jsbeeb installed here. Otherwise the test is skipped (exit status 77)
// with the reason printed as "SKIPPED: REASON", or under CI, where jsbeeb
// is installed first, fails.
import fs from "node:fs";

export const SKIPPED = 77;

// jsbeeb's frame buffer, where each field is painted.
export const FRAME_WIDTH = 1024;
export const FRAME_HEIGHT = 625;

// jsbeeb asks for a newer Node.js than it needs: it runs here from 18 on,
// Debian 12's own.
export function requireJsbeeb() {
    if (Number(process.versions.node.split(".")[0]) < 18) {
        console.log(`SKIPPED: Node.js ${process.versions.node} is too old: the emulator test needs Node.js 18 or later`);
        process.exit(SKIPPED);
    }
    if (!fs.existsSync(new URL("./node_modules/jsbeeb/package.json", import.meta.url))) {
        const reason = 'jsbeeb is not installed; run "npm ci" in tests/emulator';
        if (process.env.CI === "true") {
            console.log(`FAILED: ${reason}`);
            process.exit(1);
        }
        console.log(`SKIPPED: ${reason} to enable the emulator test`);
        process.exit(SKIPPED);
    }
}
