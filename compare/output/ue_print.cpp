// TEMPORARY STUB — replaced by the real implementation.
#include "compare/w_diff.h"
void w_diff::ue_print() {}
void w_diff::ue_saveas() {}
