// System natives: transcode.
#include "interpreter/lexer.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"

namespace zun::natives {

namespace {
constexpr int32_t ABSENT = -1;

const Cell* refinement_arg(const int32_t* refinements, int i) {
    return refinements[i] == ABSENT ? nullptr : stack::g_base + refinements[i];
}
}  // namespace

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
