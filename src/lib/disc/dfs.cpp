#include "lib/disc/dfs.h"

#include <cstdio>
#include <cstring>

int32_t sectors_needed(const DiscFile* files, int32_t count) {
    int32_t sectors = 2;
    for (int32_t i = 0; i < count; ++i)
        sectors += files[i].skip + static_cast<int32_t>((files[i].length + kSectorBytes - 1) / kSectorBytes);
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
        // A piece cut short by its buffer would be a program that is not
        // the one meant: refused like one that does not fit.
        const bool fits = length >= 0 && static_cast<size_t>(length) < sizeof piece &&
                          used + static_cast<size_t>(length) < capacity;
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
        sector += file.skip;
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

size_t write_packed_boot_program(const PackedPicture* pictures, int32_t count, const PackedBoot& settings, char* text,
                                 size_t capacity) {
    bool teletext = false;
    bool nula = false;
    for (int32_t i = 0; i < count; ++i) {
        teletext = teletext || pictures[i].mode == 7;
        nula = nula || pictures[i].nula[0] != '\0';
    }
    BootText boot{text, capacity, 50};
    boot.put(snprintf(boot.piece, sizeof boot.piece, "NEW\r"));
    // The NuLA's registers, &FE22 and &FE23, are the video ULA's own, &FE20
    // and &FE21, on a machine without one, where the writes would change
    // the mode: so first a warning and a key. Resetting the NuLA (&40)
    // restores the machine's colours: before every picture, so that the
    // routine's black is black, and when ESCAPE stops the show (once the
    // key has said there is a NuLA to reset).
    if (nula)
        boot.put(snprintf(boot.piece, sizeof boot.piece,
                          "5 CLS:PRINT \"These pictures need a VideoNuLA.\"'\"Without one the screen goes wrong.\"'"
                          "\"Press a key to show them.\":A$=GET$\r"
                          "7 ON ERROR ?&FE22=&40:REPORT:PRINT \" at line \";ERL:END\r"));
    // A slideshow waits with INKEY$, in centiseconds, and starts again.
    char again[48] = "";
    if (settings.seconds > 0) snprintf(again, sizeof again, "T%%=%d:REPEAT:RESTORE:", static_cast<int>(settings.seconds * 100));
    // Resident integer variables keep their values through RUN, so E% is
    // set even where every picture is on drive 0, and O%, the mode last
    // set, starts as none. A picture in the mode of the one before needs
    // no MODE, which would spend a tenth of a second clearing the screen:
    // the routine blacks out the colours before it reads. Then each logical
    // colour gets its digit's physical colour, written out for the first
    // four, which take a third less time so than in a loop: MODEs 0 and 4
    // have two, 1 and 5 four, 2 eight and then 8-15 flashing again, as MODE
    // left them, from "89:;<=>?".
    // Teletext has no palette to black out: the 6845 stops the display
    // instead (its display skew of 3, in R8) until the page is in place.
    // The NuLA's colours go in before VDU 19 shows the picture.
    boot.put(snprintf(boot.piece, sizeof boot.piece,
                      "10 OSCLI \"LOAD %s\":E%%=0:O%%=-1:%sFOR I%%=1 TO %d:READ M%%,P$,%sN%%,%sX%%,A%%\r"
                      "20 %sIF M%%<>O%% MODE M%%:VDU 23,1,0;0;0;0;:O%%=M%%\r"
                      "%s"
                      "30 Y%%=&30-40*(M%%>3)%s:CALL &%lX%s%s",
                      settings.unpacker, again, static_cast<int>(count), nula ? "C$," : "",
                      settings.both_sides ? "E%," : "", nula ? "?&FE22=&40:" : "",
                      teletext ? "25 IF M%=7 VDU 23,0,8,&B3,0;0;0;\r" : "", teletext ? "-36*(M%=7)" : "",
                      static_cast<unsigned long>(settings.entry),
                      teletext ? ":IF M%=7 VDU 23,0,8,&93,0;0;0;:GOTO 40" : "",
                      nula ? "\r31 IF LEN C$ FOR J%=1 TO LEN C$ STEP 2:?&FE23=EVAL(\"&\"+MID$(C$,J%,2)):NEXT\r32 "
                      : teletext ? "\r32 " : ":"));
    boot.put(snprintf(boot.piece, sizeof boot.piece,
                      "VDU 19,0,ASC P$-48;0;19,1,ASC MID$(P$,2)-48;0;\r"
                      "35 IF M%% AND 1 VDU 19,2,ASC MID$(P$,3)-48;0;19,3,ASC MID$(P$,4)-48;0;\r"
                      "37 IF M%%=2 THEN FOR J%%=3 TO 16:VDU 19,J%%-1,ASC MID$(P$+\"89:;<=>?\",J%%)-48;0;:NEXT\r"
                      "40 %s:NEXT:%s",
                      settings.seconds > 0 ? "A$=INKEY$(T%)" : "A$=GET$",
                      settings.seconds > 0 ? "UNTIL FALSE" : "REPEAT UNTIL FALSE"));
    // Each picture's track and sector in DATA, for X% and A%: BASIC would
    // take longer to work them out.
    for (int32_t i = 0; i < count; ++i) {
        char drive[8] = "";
        if (settings.both_sides) snprintf(drive, sizeof drive, "%d,", static_cast<int>(pictures[i].drive));
        char colours[72] = "";
        if (nula) snprintf(colours, sizeof colours, "%s,", pictures[i].nula);
        char item[128];
        snprintf(item, sizeof item, "%d,%s,%s%d,%s%d,%d", static_cast<int>(pictures[i].mode), pictures[i].palette, colours,
                 static_cast<int>(pictures[i].sectors), drive, static_cast<int>(pictures[i].sector / kSectorsPerTrack),
                 static_cast<int>(pictures[i].sector % kSectorsPerTrack));
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
