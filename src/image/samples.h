// Reading the samples that follow the header.
#pragma once

#include "image/byte_stream.h"
#include "conversion_records.h"

// Reads width x height pixels, row-major in the stream, into the
// column-major planes; samples after the end of the data are -1.
void read_samples(ByteStream& in, const ImagePlanes& planes);
