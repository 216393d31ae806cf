// jsbeeb's machine session imports sharp at load time but calls it only
// from its PNG screenshot methods, which the emulator test does not use.
export default function sharp() {
    throw new Error("sharp is stubbed out in tarnvil's emulator test: read the framebuffer instead");
}
