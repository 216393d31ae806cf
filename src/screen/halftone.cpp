#include "screen/halftone.h"

void build_threshold_matrix(HalftoneType halftone, ThresholdMatrix& matrix) { matrix = threshold_matrix(halftone); }
