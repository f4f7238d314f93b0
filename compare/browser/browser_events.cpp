// TEMPORARY STUB — replaced by the real implementation.
#include "compare/w_diff.h"
void w_diff::ddlb_1_constructor() {}
void w_diff::ddlb_1_selectionchanged(int) {}
void w_diff::lb_1_ue_refresh() {}
void w_diff::lb_1_selectionchanged(int) {}
void w_diff::lb_1_ue_lbuttondown(unsigned, int, int) { ib_lbuttondown = true; }
void w_diff::lb_1_ue_lbuttonup(unsigned, int, int) { ib_lbuttondown = false; }
void w_diff::lb_1_ue_mousemove(unsigned, int, int) {}
