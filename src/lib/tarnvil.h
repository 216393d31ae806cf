// tarnvil's library: what the companion tools and the web page do, on
// memory. Bytes and records in, bytes and records out; no files, no
// console, no process: the command lines in src/cli and the page's core
// read the files, print the messages and choose the exit status.
//
// - Screens (from the converter): each mode's size and layout.
// - Palettes: the machine's colours, their names and VDU 19's notation,
//   and a VideoNuLA's twelve-bit colours, chosen for a picture.
// - Previews: a dump as the display shows it, and as a PNG.
// - Preparing pictures: decoding, scaling and tone, for a mode and palette.
// - Discs: a DFS image that boots into dumps.
// - Commands: words quoted for the shell a user pastes them into.
#pragma once

#include "screen/modes.h"
#include "lib/palette.h"
#include "lib/render/render.h"
#include "lib/render/png.h"
#include "lib/fit/decode.h"
#include "lib/fit/fit.h"
#include "lib/fit/measure.h"
#include "lib/fit/reach.h"
#include "lib/fit/scale.h"
#include "lib/fit/screen.h"
#include "lib/fit/nula.h"
#include "lib/disc/disc.h"
#include "lib/lists.h"
#include "lib/modes.h"
#include "lib/teletext/teletext.h"
#include "lib/shell_words.h"
