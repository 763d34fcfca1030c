// Instruction budgets of the headline cases, per sample, in the default (RelWithDebInfo) build:
// the budget test fails when a case costs more than its budget plus the tolerance. Each entry
// keeps the count it replaced (the same case before the work that set the budget, Release
// build), so that a raised budget shows what was given back.
#ifndef TILLER_BENCH_BUDGETS_H
#define TILLER_BENCH_BUDGETS_H

namespace tiller_bench {

struct Budget {
    const char* name;  // a case of tiller_icount
    long instructions; // per sample
    long before;       // the count this budget replaced
};

constexpr double BudgetTolerance = 0.10;

constexpr Budget Budgets[] = {
    {"hover_far_parallel", 1'100, 66'065},
    {"hover_far_perspective", 1'350, 100'153},
    {"hover_arrow_parallel", 23'000, 100'434},
    {"hover_arrow_perspective", 24'500, 59'535},
    {"hover_refpoint_parallel", 23'500, 211'878},
    {"first_hover_after_setup", 55'000, 242'142},
    {"report", 2'050'000, 10'590'948},
    {"drag_move_axis_parallel", 10'700, 65'834},
    {"drag_move_axis_perspective", 17'500, 18'912},
    {"drag_rotate_parallel", 15'500, 54'644},
    {"drag_scale_axis_parallel", 14'600, 49'018},
    {"create_warm", 1'800'000, 11'517'836},
};

} // namespace tiller_bench

#endif
