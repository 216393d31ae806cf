// CRC-32 for the build's JavaScript (the page's ZIP, the browser tests' own
// PNGs): the core's, in src/lib/crc32.cpp, for scripts that run before it
// exists or apart from it.
export function crc32(bytes) {
    let crc = 0xffffffff;
    for (const byte of bytes) {
        crc ^= byte;
        for (let k = 0; k < 8; ++k) crc = crc & 1 ? 0xedb88320 ^ (crc >>> 1) : crc >>> 1;
    }
    return (crc ^ 0xffffffff) >>> 0;
}
