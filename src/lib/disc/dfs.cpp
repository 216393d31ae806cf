#include "lib/disc/dfs.h"

#include <cstdio>
#include <cstring>

int32_t sectors_needed(const DiscFile* files, int32_t count) {
    int32_t sectors = 2;
    for (int32_t i = 0; i < count; ++i)
        sectors += static_cast<int32_t>((files[i].length + kSectorBytes - 1) / kSectorBytes);
    return sectors;
}

namespace {

void put16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value & 0xFF);
    at[1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

uint8_t bits_16_17(uint32_t value) { return static_cast<uint8_t>((value >> 16) & 3); }

// A BASIC program typed into `text`, piece by piece; once a piece does not
// fit, `used` is the capacity and the program is refused.
struct BootText {
    char* text;
    size_t capacity;
    int line;                // of the next DATA line
    size_t used = 0;
    size_t line_length = 0;  // of the DATA line being filled, 0 before any
    char piece[512] = {};

    void put(int length) {
        const bool fits = length >= 0 && used + static_cast<size_t>(length) < capacity;
        if (fits) memcpy(text + used, piece, static_cast<size_t>(length) + 1);
        used = fits ? used + static_cast<size_t>(length) : capacity;
    }
    // One DATA item, on a new line when the one being filled would pass
    // 200 characters, well inside the 238 BASIC takes on a line. Each line
    // starts after a carriage return.
    void data(const char* item) {
        if (line_length == 0 || line_length + strlen(item) > 200) {
            put(snprintf(piece, sizeof piece, "\r%d DATA %s", line, item));
            line += 10;
            line_length = 10 + strlen(item);
        } else {
            put(snprintf(piece, sizeof piece, ",%s", item));
            line_length += 1 + strlen(item);
        }
    }
    size_t end() {
        put(snprintf(piece, sizeof piece, "\rRUN\r"));
        return used < capacity ? used : 0;
    }
};

}  // namespace

void write_ssd(int32_t tracks, const char* title, int32_t boot_option, const DiscFile* files, int32_t count,
               uint8_t* image) {
    const int32_t total_sectors = tracks * kSectorsPerTrack;
    memset(image, 0, static_cast<size_t>(total_sectors) * kSectorBytes);
    uint8_t* names = image;                  // sector 0
    uint8_t* details = image + kSectorBytes;  // sector 1

    // The title: 8 bytes in sector 0, 4 in sector 1, padded with NULs.
    char padded[kMaxTitleLength] = {};
    memcpy(padded, title, strnlen(title, kMaxTitleLength));
    memcpy(names, padded, 8);
    memcpy(details, padded + 8, 4);
    details[4] = 0;  // cycle number, in BCD: a new disc
    details[5] = static_cast<uint8_t>(count * 8);
    details[6] = static_cast<uint8_t>((boot_option & 3) << 4 | ((total_sectors >> 8) & 3));
    details[7] = static_cast<uint8_t>(total_sectors & 0xFF);

    // Files go in order from sector 2; the catalogue lists the one that
    // starts last first.
    int32_t sector = 2;
    for (int32_t i = 0; i < count; ++i) {
        const DiscFile& file = files[i];
        memcpy(image + static_cast<size_t>(sector) * kSectorBytes, file.data, file.length);
        const int32_t slot = count - 1 - i;
        uint8_t* name = names + 8 + 8 * slot;
        memset(name, ' ', 7);
        memcpy(name, file.name, strnlen(file.name, 7));
        name[7] = '$';
        uint8_t* entry = details + 8 + 8 * slot;
        put16(entry, file.load);
        put16(entry + 2, file.exec);
        put16(entry + 4, file.length);
        entry[6] = static_cast<uint8_t>(bits_16_17(file.exec) << 6 | bits_16_17(file.length) << 4 |
                                        bits_16_17(file.load) << 2 | ((sector >> 8) & 3));
        entry[7] = static_cast<uint8_t>(sector & 0xFF);
        sector += static_cast<int32_t>((file.length + kSectorBytes - 1) / kSectorBytes);
    }
}

size_t write_boot_program(const int32_t* modes, const char* const* changes, const char* const* names, int32_t count,
                          char* text, size_t capacity) {
    char mode_digits[kMaxDiscFiles + 1] = {};
    bool recoloured = false;
    for (int32_t i = 0; i < count && i < kMaxDiscFiles; ++i) {
        mode_digits[i] = static_cast<char>('0' + modes[i]);
        recoloured = recoloured || changes[i][0] != '\0';
    }
    // Typed into BASIC by *EXEC: clear any old program, enter it, run it.
    // MODE clears the echoed text; VDU 23,1,0;0;0;0; hides the cursor.
    if (!recoloured && !names) {
        const int written = snprintf(text, capacity,
                                     "NEW\r"
                                     "10 M$=\"%s\":FOR I%%=1 TO %d:MODE VAL MID$(M$,I%%,1):VDU 23,1,0;0;0;0;"
                                     ":OSCLI \"LOAD P\"+STR$ I%%:A$=GET$:NEXT:REPEAT UNTIL FALSE\r"
                                     "RUN\r",
                                     mode_digits, static_cast<int>(count));
        return written < 0 || static_cast<size_t>(written) >= capacity ? 0 : static_cast<size_t>(written);
    }
    // Each picture reads its changes from DATA and makes them between its
    // MODE and its load. A picture without any reads "00", which sets
    // logical colour 0 to black, as MODE has just done: BASIC runs the
    // body of a FOR loop at least once.
    BootText boot{text, capacity, 20};
    // With names, each picture's DATA item is its name, then its changes.
    boot.put(snprintf(boot.piece, sizeof boot.piece,
                      "NEW\r"
                      "10 M$=\"%s\":FOR I%%=1 TO %d:MODE VAL MID$(M$,I%%,1):VDU 23,1,0;0;0;0;:READ %s"
                      ":FOR J%%=1 TO LEN P$ STEP 2:VDU 19,VAL MID$(P$,J%%,1),VAL MID$(P$,J%%+1,1);0;:NEXT"
                      ":OSCLI \"LOAD %s:A$=GET$:NEXT:REPEAT UNTIL FALSE",
                      mode_digits, static_cast<int>(count), names ? "N$,P$" : "P$", names ? "\"+N$" : "P\"+STR$ I%"));
    for (int32_t i = 0; i < count; ++i) {
        char item[24];
        snprintf(item, sizeof item, "%s%s%s", names ? names[i] : "", names ? "," : "", changes[i][0] ? changes[i] : "00");
        boot.data(item);
    }
    return boot.end();
}

size_t write_packed_boot_program(const PackedPicture* pictures, int32_t count, const char* unpacker,
                                 uint32_t unpack_address, int32_t pack_sector, int32_t seconds, bool both_sides,
                                 char* text, size_t capacity) {
    BootText boot{text, capacity, 50};
    const bool one_file = pack_sector >= 0;
    // A slideshow waits with INKEY$, in centiseconds, and starts again.
    char again[48] = "";
    if (seconds > 0) snprintf(again, sizeof again, "T%%=%d:REPEAT:RESTORE:", static_cast<int>(seconds * 100));
    // Every logical colour of MODE 2 turns black, then 8-15 flash again as
    // MODE left them. The screen's first page is &30, or &58 in MODEs 4
    // and 5.
    boot.put(snprintf(boot.piece, sizeof boot.piece,
                 "NEW\r"
                 "10 OSCLI \"LOAD %s\":DIM B%% 10:%sS%%=%d:FOR I%%=1 TO %d:READ %sM%%,P$,L%%%s\r"
                 "20 MODE M%%:VDU 23,1,0;0;0;0;:FOR J%%=0 TO 15:VDU 19,J%%,0;0;:NEXT%s\r",
                 unpacker, again, static_cast<int>(pack_sector > 0 ? pack_sector : 0),
                 static_cast<int>(count), one_file ? "" : "N$,", both_sides ? ",E%,S%" : "", one_file ? "" : ":OSCLI \"LOAD \"+N$+\" \"+STR$~(&8000-L%)"));
    // From the file of them all, the picture's sectors straight from the
    // disc, track by track with OSWORD &7F: OSGBPB would take a turn of
    // the disc for each sector. Each picture's bytes end a sector, so that
    // its last byte lands at &7FFF; S% is its first sector.
    if (one_file)
        boot.put(snprintf(boot.piece, sizeof boot.piece,
                     "25 N%%=(L%%+255) DIV 256:D%%=&8000-256*N%%:REPEAT:C%%=10-S%% MOD 10:IF C%%>N%% C%%=N%%\r"
                     "26 ?B%%=%s:B%%!1=D%%:B%%?5=3:B%%?6=&53:B%%?7=S%% DIV 10:B%%?8=S%% MOD 10:B%%?9=&20+C%%"
                     ":A%%=&7F:X%%=B%%:Y%%=B%% DIV 256:CALL &FFF1:D%%=D%%+256*C%%:S%%=S%%+C%%:N%%=N%%-C%%:UNTIL N%%=0\r",
                     both_sides ? "E%" : "0"));
    boot.put(snprintf(boot.piece, sizeof boot.piece,
                 "30 A%%=&30-40*(M%%>3):X%%=&8000-L%%:Y%%=X%% DIV 256:CALL &%lX"
                 ":FOR J%%=1 TO LEN P$:VDU 19,J%%-1,VAL MID$(P$,J%%,1);0;:NEXT"
                 ":IF M%%=2 THEN FOR J%%=8 TO 15:VDU 19,J%%,J%%;0;:NEXT\r"
                 "40 %s:NEXT:%s",
                 static_cast<unsigned long>(unpack_address), seconds > 0 ? "A$=INKEY$(T%)" : "A$=GET$",
                 seconds > 0 ? "UNTIL FALSE" : "REPEAT UNTIL FALSE"));
    for (int32_t i = 0; i < count; ++i) {
        char item[48];
        const int length = snprintf(item, sizeof item, "%s%s%d,%s,%lu", one_file ? "" : pictures[i].name,
                                    one_file ? "" : ",", static_cast<int>(pictures[i].mode), pictures[i].palette,
                                    static_cast<unsigned long>(pictures[i].length));
        if (both_sides && length > 0 && static_cast<size_t>(length) < sizeof item)
            snprintf(item + length, sizeof item - static_cast<size_t>(length), ",%d,%d",
                     static_cast<int>(pictures[i].drive), static_cast<int>(pictures[i].sector));
        boot.data(item);
    }
    return boot.end();
}

void start_mmb(uint8_t* mmb, int32_t discs) {
    memset(mmb, 0, kMmbIndexBytes + static_cast<size_t>(discs) * kMmbSlotBytes);
    for (uint8_t drive = 0; drive < 4; ++drive) mmb[drive] = drive;
    for (size_t entry = 1; entry < kMmbIndexBytes / 16; ++entry) mmb[entry * 16 + 15] = 0xF0;
}

void put_mmb_slot(uint8_t* mmb, int32_t slot, const char* title, const uint8_t* disc, size_t size) {
    uint8_t* entry = mmb + 16 * (static_cast<size_t>(slot) + 1);
    memcpy(entry, title, strnlen(title, kMaxTitleLength));
    entry[15] = 0x0F;
    memcpy(mmb + kMmbIndexBytes + static_cast<size_t>(slot) * kMmbSlotBytes, disc, size);
}
