// System natives: recycle and transcode.
#include "core/collector.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"
#include "datatypes/logic.hpp"

namespace zun::natives {

namespace {
constexpr int32_t ABSENT = -1;

const Cell* refinement_arg(const int32_t* refinements, int i) {
    return refinements[i] == ABSENT ? nullptr : stack::g_base + refinements[i];
}
}  // namespace

// /on and /off switch the collector; otherwise collect and answer what stats
// answers: the memory still in use.
Flow recycle(int check, const int32_t* refinements) {
    bool on = refinements[0] != ABSENT, off = refinements[1] != ABSENT;
    if (on || off) {
        collector::set_enabled(on);
        stack::set_result_reset(&shared_unset_cell);
        return Flow::normal;
    }
    collector::recycle();
    const int32_t no_refinements[] = {ABSENT, ABSENT};
    return stats(check, no_refinements);
}

Flow transcode(int, const int32_t* refinements) {
    lexer::Refinements r;
    r.next = refinements[0] != ABSENT;
    r.one = refinements[1] != ABSENT;
    r.prescan = refinements[2] != ABSENT;
    r.scan = refinements[3] != ABSENT;
    r.part = refinement_arg(refinements, 4);
    r.into = refinement_arg(refinements, 5);
    r.trace = refinement_arg(refinements, 6);
    lexer::transcode(stack::g_base, stack::g_base, r);
    stack::reset_keep_result();
    return Flow::normal;
}

}  // namespace zun::natives
