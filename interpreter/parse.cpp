// The parse engine's loop: rule blocks, keywords and their entries on the rule
// stack, the trace callback. Matching single values against the input lives
// in parse_match.cpp.
//
// The engine's own values sit on the value stack (which never moves): the
// scratch/result cell, the current rules block, the current input, a work
// cell, then two cells per open collect. Paren and callback evaluations run
// above them and the top is put back after each.
#include "interpreter/parse.hpp"

#include <algorithm>

#include "core/collector.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/parse_internal.hpp"

namespace zun::parser {

namespace {

collector::Anchor g_anchor;
Cell g_inputs;  // block! cells: node and head index (the base of the running parse)
Cell g_rules;

// Keyword entry codes (the pair's x).
enum Code : int32_t {
    REPEAT = -1, TO = -2, THRU = -3, COPY = -4, SET = -5, NOT = -6, INTO = -7, REMOVE = -9,
    WHILE = -11, COLLECT = -12, KEEP = -13, AHEAD = -16, CHANGE = -17, CHANGE_ONLY = -18,
    CASE = -19,
};

enum Keyword {
    K_NONE_, K_ANY, K_BREAK, K_COPY, K_END, K_FAIL, K_INTO, K_OPT, K_NOT, K_QUOTE, K_CASE,
    K_REJECT, K_SET, K_SKIP, K_SOME, K_THRU, K_TO, K_NONE, K_BAR, K_IF, K_REMOVE, K_WHILE,
    K_INSERT, K_COLLECT, K_KEEP, K_AHEAD, K_CHANGE, K_COUNT
};

// Collect kinds, kept in the entry's first triple and shown by the marker.
enum CollectKind : int32_t { C_PLAIN = 0, C_SET, C_INTO, C_AFTER };

uint32_t keyword_symbol(Keyword k) {
    switch (k) {
        case K_ANY: return sym::id(sym::any);
        case K_BREAK: return sym::id(sym::break_);
        case K_COPY: return sym::id(sym::copy);
        case K_END: return sym::id(sym::end);
        case K_FAIL: return sym::id(sym::fail);
        case K_INTO: return sym::id(sym::into);
        case K_OPT: return sym::id(sym::opt);
        case K_NOT: return sym::id(sym::not_);
        case K_QUOTE: return sym::id(sym::quote);
        case K_CASE: return sym::id(sym::case_);
        case K_REJECT: return sym::id(sym::reject);
        case K_SET: return sym::id(sym::set);
        case K_SKIP: return sym::id(sym::skip);
        case K_SOME: return sym::id(sym::some);
        case K_THRU: return sym::id(sym::thru);
        case K_TO: return sym::id(sym::to);
        case K_NONE: return sym::id(sym::none);
        case K_BAR: return sym::id(sym::bar);
        case K_IF: return sym::id(sym::if_);
        case K_REMOVE: return sym::id(sym::remove_);
        case K_WHILE: return sym::id(sym::while_);
        case K_INSERT: return sym::id(sym::insert);
        case K_COLLECT: return sym::id(sym::collect);
        case K_KEEP: return sym::id(sym::keep);
        case K_AHEAD: return sym::id(sym::ahead);
        case K_CHANGE: return words::get(words::change)->data2;
        default: return 0;
    }
}

// Keyword by canonical symbol id; the keyword symbols are start-up symbols,
// so a small table holds them all.
constexpr uint32_t KEYWORD_TABLE = 8192;
uint8_t g_keywords[KEYWORD_TABLE];

void build_keyword_table() {
    std::fill(g_keywords, g_keywords + KEYWORD_TABLE, uint8_t(K_NONE_));
    for (int k = K_ANY; k < K_COUNT; k++) {
        const uint32_t id = keyword_symbol(Keyword(k));
        if (id < KEYWORD_TABLE) g_keywords[id] = uint8_t(k);
    }
}

Keyword keyword_of(uint32_t symbol) {
    if (symbol < KEYWORD_TABLE && g_keywords[symbol] != K_NONE_) return Keyword(g_keywords[symbol]);
    const uint32_t canonical = symbol::canonical(symbol);
    if (canonical < KEYWORD_TABLE) return Keyword(g_keywords[canonical]);
    for (int k = K_ANY; k < K_COUNT; k++)
        if (keyword_symbol(Keyword(k)) == canonical) return Keyword(k);
    return K_NONE_;
}

bool is_word_sym(const Cell& c, sym::Name n) {
    return c.is(TYPE_WORD) && symbol::canonical(c.data2) == sym::id(n);
}

// Values a repetition or search matches in one pass over the input.
bool simple_value(uint32_t t) {
    switch (t) {
        case TYPE_BLOCK: case TYPE_WORD: case TYPE_PAREN: case TYPE_INTEGER: case TYPE_DATATYPE:
        case TYPE_TYPESET: case TYPE_SET_WORD: case TYPE_GET_WORD: case TYPE_PATH: case TYPE_UNSET:
            return false;
        default:
            return true;
    }
}

Cell triple(int32_t a, int32_t b, int32_t c) {
    return make_cell(TYPE_TRIPLE, uint32_t(a), uint32_t(b), uint32_t(c));
}
Cell pair(int32_t x, int32_t y) { return make_cell(TYPE_PAIR, 0, uint32_t(x), uint32_t(y)); }

// Leaves a non-local exit of a paren or the callback: caught by parse().
struct Leave {
    Flow flow;
};

// Hot paths read the buffers directly: good until the next allocation.
inline Cell* cells_of(const Cell& blk) { return memory::buffer_of(blk.data2)->head_cell(); }
inline int32_t cells_in(const Cell& blk) { return int32_t(memory::buffer_of(blk.data2)->used() >> 4); }
int32_t work_length(const Cell& blk) { return cells_in(blk); }
Cell* work_cell(const Cell& blk, int32_t i) { return cells_of(blk) + i; }

void check_limit() {
    if (work_length(g_rules) > WORK_BLOCK_LIMIT || work_length(g_inputs) > WORK_BLOCK_LIMIT)
        support::fire_error(ErrorId::script_parse_stack);
}

class Engine {
public:
    Engine(Cell* regs, const Options& options)
        : m_regs(regs), m_mode(options.mode), m_has_limit(options.has_limit),
          m_limit(options.limit), m_callback(options.callback) {}

    void run();
    bool collected() const { return m_collected; }
    bool match() const { return m_match; }

private:
    enum State {
        BEGIN_BLOCK, NEXT_RULE, END_BLOCK, ALTERNATIVE, AFTER_MATCH, DISPATCH, KEYWORD_ARG,
        RESOLVE, FINISH, STOP
    };

    // Registers on the value stack.
    Cell* m_regs;
    Cell& scratch() { return m_regs[0]; }
    Cell& rules() { return m_regs[1]; }
    Cell& work() { return m_regs[3]; }
    Cell* collect_cells() { return m_regs + 4; }  // marker, then block or target
    Input in() { return Input{&m_regs[2], end_position()}; }
    Cell& input() { return m_regs[2]; }

    int m_mode;
    bool m_has_limit;
    int32_t m_limit;
    const Cell* m_callback;
    int32_t m_rs_base = 0;  // first entry of this parse on the rule stack
    int32_t m_rpos = 0;     // rule position: cell index from the rules buffer start
    bool m_match = true;
    bool m_block_complete = false;
    bool m_break = false;
    int32_t m_collect_depth = 0;
    int32_t m_into_depth = 0;  // inputs entered by into above the outermost
    bool m_collected = false;
    Cell m_enter{};  // block to enter (BEGIN_BLOCK)
    Cell m_value{};  // value to dispatch (DISPATCH)
    bool m_from_word = false;
    bool m_in_arg = false;  // dispatching a keyword's argument
    State m_state = BEGIN_BLOCK;

    // Input.
    bool outermost() const { return m_into_depth == 0; }
    int32_t end_position() {
        const int32_t tail = input_tail(&input());
        return m_has_limit && outermost() ? std::clamp(m_limit, 0, tail) : tail;
    }
    int32_t head() { return int32_t(input().data1); }
    void set_head(int32_t h) { input().data1 = uint32_t(std::max(h, 0)); }
    bool at_end() { return head() >= end_position(); }
    int32_t remaining() { return std::max(end_position() - head(), 0); }

    // Rules.
    int32_t rules_tail() { return cells_in(rules()); }
    Cell rule_at(int32_t i) { return cells_of(rules())[i]; }
    bool has_rule(int32_t i) { return i >= 0 && i < rules_tail(); }

    // Rule stack.
    int32_t top_entry() { return work_length(g_rules) - 3; }
    Cell* entry(int32_t e, int i) { return work_cell(g_rules, e + i); }
    bool top_is_keyword() {
        return top_entry() >= m_rs_base && entry(top_entry(), 2)->is(TYPE_PAIR);
    }
    void push_entry(const Cell& c0, const Cell& c1, const Cell& c2) {
        check_limit();
        memory::SeriesBuffer* b = memory::buffer_of(g_rules.data2);
        if (b->tail + 3 * sizeof(Cell) <= b->size) {  // room: no allocation, write in place
            Cell* cell = b->tail_cell();
            cell[0] = c0;
            cell[1] = c1;
            cell[2] = c2;
            b->tail += 3 * sizeof(Cell);
            return;
        }
        block::append_cell(&g_rules, &c0);
        block::append_cell(&g_rules, &c1);
        block::append_cell(&g_rules, &c2);
    }
    // A break or reject that reached a block with no loop around it is spent.
    void pop_entry() {
        block::set_tail_at(&g_rules, top_entry());
        if (!top_is_keyword()) m_break = false;
    }

    // Events: false stops the parse.
    bool event(words::Name name) {
        if (!m_callback) return true;
        return invoke_callback(words::get(name));
    }
    bool event_end() {
        if (!m_callback) return true;
        Cell end = *words::get(words::push);
        end.data2 = sym::id(sym::end);
        end.data1 = 0;
        end.data3 = uint32_t(-1);
        return invoke_callback(&end);
    }
    bool invoke_callback(const Cell* event_word);

    // Steps.
    void begin_block();
    void next_rule();
    void end_block();
    void alternative();
    void after_match() {
        if (top_is_keyword()) m_state = RESOLVE;
        else m_state = m_match ? NEXT_RULE : ALTERNATIVE;
    }
    void dispatch();
    void keyword(const Cell& word);
    void keyword_argument();
    void resolve();
    void finish();
    void matched() {  // a matching operation ended: event match, then after-match
        m_state = event(words::match) ? AFTER_MATCH : STOP;
    }

    void push_keyword(Code code, const Cell& c0, int32_t arg_index, int32_t flag = 0);
    void repetition(int32_t min, int32_t max, Code code, int32_t arg_index);
    void counted(const Cell& count);
    int32_t skip_rule(int32_t i);
    [[noreturn]] void end_error(const Cell& word) {
        Cell w = word;
        support::fire_error(ErrorId::script_parse_end, &w);
    }
    [[noreturn]] void rule_error(const Cell& value) {
        Cell v = value;
        support::fire_error(ErrorId::script_parse_rule, &v);
    }

    // Keywords with effects of their own.
    void into(const Cell& word);
    void insert(const Cell& word);
    void change(const Cell& word);
    void remove(const Cell& word);
    void collect(const Cell& word);
    void keep(const Cell& word);
    bool marked_input(const Cell& c, int32_t* mark);
    Cell argument_value(const Cell& c);
    Cell eval_paren(const Cell& paren);

    // Results of entries.
    void resolve_repeat(int32_t e, Code code);
    void resolve_search(int32_t e, Code code);
    void resolve_into();
    void resolve_collect(int32_t e);
    void resolve_keep(int32_t e, bool pick);
    void deliver(const Cell& value, bool splice);
    void set_word_from(const Cell& word_cell, const Cell& value);
    Cell copy_part(int32_t from, int32_t to);
    Cell item_value(int32_t index);
};

// ---------------------------------------------------------------- the loop

void Engine::run() {
    m_rs_base = work_length(g_rules);
    m_enter = rules();
    m_rpos = block::head_index(&rules()) - 1;
    m_state = BEGIN_BLOCK;
    for (;;) {
        switch (m_state) {
            case BEGIN_BLOCK: begin_block(); break;
            case NEXT_RULE: next_rule(); break;
            case END_BLOCK: end_block(); break;
            case ALTERNATIVE: alternative(); break;
            case AFTER_MATCH: after_match(); break;
            case DISPATCH: dispatch(); break;
            case KEYWORD_ARG: keyword_argument(); break;
            case RESOLVE: resolve(); break;
            case FINISH: finish(); return;
            case STOP:  // the callback said stop: no result of a finished parse
                m_match = false;
                m_collected = false;
                return;
        }
    }
}

void Engine::begin_block() {
    // Values a keep has kept stay when a later rule fails: no roll-back.
    push_entry(make_cell(TYPE_NONE), triple(m_rpos, head(), remaining()), rules());
    rules() = m_enter;
    m_rpos = block::head_index(&m_enter) - 1;
    m_match = true;
    m_state = event(words::push) ? NEXT_RULE : STOP;
}

void Engine::next_rule() {
    const int32_t tail = rules_tail();
    if (m_rpos < tail) m_rpos++;
    if (m_rpos < tail) {
        if (!event(words::fetch)) {
            m_state = STOP;
            return;
        }
        m_value = rule_at(m_rpos);
        m_from_word = false;
        m_in_arg = false;
        m_state = DISPATCH;
        return;
    }
    m_state = top_is_keyword() ? RESOLVE : END_BLOCK;
}

void Engine::end_block() {
    const int32_t e = top_entry();
    if (e == m_rs_base) {
        m_state = event(words::pop) ? FINISH : STOP;
        return;
    }
    m_block_complete = m_rpos >= rules_tail();
    if (!event(words::pop)) {
        m_state = STOP;
        return;
    }
    const Cell parent = *entry(e, 2);
    m_rpos = int32_t(entry(e, 1)->data1);
    rules() = parent;
    pop_entry();
    if (top_is_keyword()) m_state = RESOLVE;
    else m_state = m_match ? NEXT_RULE : ALTERNATIVE;
}

void Engine::alternative() {
    const int32_t e = top_entry();
    set_head(std::min(int32_t(entry(e, 1)->data2), input_tail(&input())));
    const uint32_t bar = sym::id(sym::bar);
    const int32_t tail = rules_tail();
    for (int32_t i = m_rpos + 1; i < tail; i++) {
        const Cell* c = block::cell_at(&rules(), i);
        if (c->is(TYPE_WORD) && c->data2 == bar) {
            m_rpos = i;
            m_match = true;
            m_state = NEXT_RULE;
            return;
        }
    }
    m_state = END_BLOCK;
}

void Engine::finish() {
    m_match = m_match && m_rpos >= rules_tail();
    if (remaining() >= 1 && outermost()) m_match = false;
    if (!event_end()) {
        m_match = false;
        m_collected = false;
    }
}

void Engine::dispatch() {
    const Cell v = m_value;
    switch (v.type()) {
        case TYPE_BLOCK:
            m_enter = v;
            m_state = BEGIN_BLOCK;
            return;
        case TYPE_WORD:
            if (m_from_word) {
                if (m_in_arg) {
                    m_match = match_literal(in(), v, m_mode);
                    matched();
                    return;
                }
                rule_error(v);
            }
            keyword(v);
            return;
        case TYPE_DATATYPE: case TYPE_TYPESET:
            m_match = match_type(in(), v);
            matched();
            return;
        case TYPE_SET_WORD: {
            Cell w = v;
            const Cell here = input();
            word::set_value(&w, &here);
            m_state = AFTER_MATCH;
            return;
        }
        case TYPE_GET_WORD: {
            Cell w = v;
            const Cell value = *word::get_value(&w);
            if (value.type() != input().type() || value.data2 != input().data2)
                support::fire_error(ErrorId::script_parse_invalid_ref, &value);
            set_head(std::min(int32_t(value.data1), input_tail(&input())));
            m_match = true;
            m_state = AFTER_MATCH;
            return;
        }
        case TYPE_INTEGER:
            counted(v);
            return;
        case TYPE_PAREN: {
            eval_paren(v);
            if (!event(words::paren)) {
                m_state = STOP;
                return;
            }
            const int32_t tail = rules_tail();
            if (m_rpos >= tail) m_rpos = std::max(tail - 1, block::head_index(&rules()) - 1);
            if (head() > input_tail(&input())) set_head(input_tail(&input()));
            m_state = AFTER_MATCH;
            return;
        }
        case TYPE_PATH:
            rule_error(v);
        default:
            m_match = match_literal(in(), v, m_mode);
            matched();
            return;
    }
}

void Engine::keyword(const Cell& w) {
    const Keyword k = keyword_of(w.data2);
    if (k == K_NONE_) {
        Cell copy = w;
        const Cell value = *word::get_value(&copy);
        if (value.is(TYPE_UNSET)) rule_error(w);
        m_value = value;
        m_from_word = true;
        m_state = DISPATCH;
        return;
    }
    const bool has_next = has_rule(m_rpos + 1);
    switch (k) {
        case K_NONE: m_match = true; matched(); return;
        case K_END: m_match = at_end(); matched(); return;
        case K_SKIP:
            m_match = !at_end();
            if (m_match) set_head(head() + 1);
            matched();
            return;
        case K_FAIL: m_match = false; matched(); return;
        case K_BREAK: case K_REJECT:
            m_match = k == K_BREAK;
            m_break = true;
            m_rpos = rules_tail();
            matched();
            return;
        case K_BAR:
            m_rpos = rules_tail();
            m_state = NEXT_RULE;
            return;
        case K_ANY: case K_SOME: case K_OPT: case K_WHILE:
            if (!has_next) end_error(w);
            repetition(k == K_SOME ? 1 : 0, k == K_OPT ? 1 : -1, k == K_WHILE ? WHILE : REPEAT,
                       m_rpos + 1);
            return;
        case K_TO: case K_THRU:
            if (!has_next) end_error(w);
            if (is_word_sym(rule_at(m_rpos + 1), sym::end)) {
                m_rpos++;
                set_head(std::max(head(), end_position()));
                m_match = true;
                matched();
                return;
            }
            push_keyword(k == K_TO ? TO : THRU, triple(0, 0, 1), m_rpos + 1);
            return;
        case K_COPY: case K_SET:
            if (!has_next || !rule_at(m_rpos + 1).is(TYPE_WORD) || !has_rule(m_rpos + 2))
                end_error(w);
            m_rpos++;
            push_keyword(k == K_COPY ? COPY : SET, rule_at(m_rpos), m_rpos + 1);
            return;
        case K_NOT: case K_AHEAD:
            if (!has_next) end_error(w);
            push_keyword(k == K_NOT ? NOT : AHEAD, triple(0, 0, 1), m_rpos + 1);
            return;
        case K_IF: {
            if (!has_next || !rule_at(m_rpos + 1).is(TYPE_PAREN)) end_error(w);
            m_rpos++;
            const Cell result = eval_paren(rule_at(m_rpos));
            m_match = !logic::false_value(&result);
            matched();
            return;
        }
        case K_INTO: into(w); return;
        case K_QUOTE:
            if (!has_next) end_error(w);
            m_rpos++;
            m_match = match_literal(in(), rule_at(m_rpos), m_mode);
            matched();
            return;
        case K_CASE: {
            if (!has_next || !rule_at(m_rpos + 1).is(TYPE_WORD)) end_error(w);
            Cell flag_word = rule_at(m_rpos + 1);
            const Cell flag = *word::get_value(&flag_word);
            if (!has_rule(m_rpos + 2)) end_error(w);
            m_rpos++;
            push_keyword(CASE, triple(m_mode, 0, 0), m_rpos + 1);
            m_mode = logic::false_value(&flag) ? 0 : 2;
            return;
        }
        case K_REMOVE: remove(w); return;
        case K_INSERT: insert(w); return;
        case K_CHANGE: change(w); return;
        case K_COLLECT: collect(w); return;
        case K_KEEP: keep(w); return;
        default: rule_error(w);
    }
}

// Pushes a keyword entry whose argument starts at arg_index, then runs it.
void Engine::push_keyword(Code code, const Cell& c0, int32_t arg_index, int32_t flag) {
    push_entry(c0, triple(arg_index, head(), remaining()), pair(code, flag));
    m_rpos = arg_index;
    m_state = event(words::push) ? KEYWORD_ARG : STOP;
}

void Engine::repetition(int32_t min, int32_t max, Code code, int32_t arg_index) {
    push_keyword(code, triple(min, max, 1), arg_index);
}

void Engine::counted(const Cell& count) {
    const int32_t n = count.as_int();
    if (n < 0) support::fire_error(ErrorId::script_out_of_range, &count);
    if (!has_rule(m_rpos + 1)) rule_error(count);
    int32_t m = n;
    Cell second = rule_at(m_rpos + 1);
    if (second.is(TYPE_WORD) && keyword_of(second.data2) == K_NONE_) {
        const Cell value = *word::get_value(&second);
        if (value.is(TYPE_INTEGER)) second = value;
    }
    if (second.is(TYPE_INTEGER)) {
        m = second.as_int();
        m_rpos++;
        if (!has_rule(m_rpos + 1)) rule_error(count);
        if (m < 0) support::fire_error(ErrorId::script_out_of_range, &second);
        if (m < n) rule_error(count);
    }
    if (m == 0) {
        m_rpos = skip_rule(m_rpos + 1);
        m_match = true;
        m_state = AFTER_MATCH;
        return;
    }
    repetition(n, m, REPEAT, m_rpos + 1);
}

// The last cell of the rule that starts at cell i (a keyword with its
// arguments). A loop, not recursion: the rules may be long.
int32_t Engine::skip_rule(int32_t i) {
    int32_t values = 0;  // change values that follow the rule
    for (;;) {
        if (!has_rule(i)) return i - 1 + values;
        const Cell c = rule_at(i);
        if (c.is(TYPE_INTEGER)) {
            i += has_rule(i + 1) && rule_at(i + 1).is(TYPE_INTEGER) ? 2 : 1;
            continue;
        }
        if (!c.is(TYPE_WORD)) return i + values;
        switch (keyword_of(c.data2)) {
            case K_ANY: case K_SOME: case K_OPT: case K_WHILE: case K_NOT: case K_AHEAD:
            case K_TO: case K_THRU: case K_REMOVE: case K_INTO:
                i++;
                continue;
            case K_COPY: case K_SET: case K_CASE:
                i += 2;
                continue;
            case K_QUOTE: case K_IF: return i + 1 + values;
            case K_KEEP:
                i += has_rule(i + 1) && is_word_sym(rule_at(i + 1), sym::pick) ? 2 : 1;
                continue;
            case K_COLLECT:
                if (has_rule(i + 1) && (is_word_sym(rule_at(i + 1), sym::set) ||
                                        is_word_sym(rule_at(i + 1), sym::into) ||
                                        is_word_sym(rule_at(i + 1), sym::after)))
                    i += 2;
                i++;
                continue;
            case K_INSERT: case K_CHANGE: {
                const bool change = keyword_of(c.data2) == K_CHANGE;
                if (has_rule(i + 1) && is_word_sym(rule_at(i + 1), sym::only)) i++;
                int32_t mark;
                if (has_rule(i + 1) && marked_input(rule_at(i + 1), &mark)) return i + 2 + values;
                if (!change) return i + 1 + values;
                values++;
                i++;
                continue;
            }
            default: return i + values;
        }
    }
}

void Engine::keyword_argument() {
    if (!has_rule(m_rpos)) {
        m_match = true;
        m_state = AFTER_MATCH;
        return;
    }
    Cell v = rule_at(m_rpos);
    const int32_t e = top_entry();
    const Code code = Code(int32_t(entry(e, 2)->data2));
    m_from_word = false;
    m_in_arg = code != COLLECT && code != KEEP;
    const bool one_pass = code == REPEAT || code == WHILE || code == TO || code == THRU;
    if (one_pass && v.is(TYPE_WORD) && keyword_of(v.data2) == K_NONE_) {
        // A word naming a simple value repeats or searches in one pass, as
        // the value itself would.
        const Cell value = *word::get_value(&v);
        const uint32_t t = value.type();
        const bool searchable = t == TYPE_CHAR || t == TYPE_BITSET || t == TYPE_BINARY ||
                                string::any_string_q(t) || block::any_block_q(input().type());
        if (simple_value(t) && (code == REPEAT || code == WHILE || searchable)) v = value;
    }
    switch (v.type()) {
        case TYPE_BLOCK: m_enter = v; m_state = BEGIN_BLOCK; return;
        case TYPE_WORD: keyword(v); return;
        case TYPE_INTEGER: case TYPE_PAREN: case TYPE_TYPESET: case TYPE_DATATYPE:
        case TYPE_SET_WORD: case TYPE_GET_WORD: case TYPE_PATH:
            m_value = v;
            m_state = DISPATCH;
            return;
        default: break;
    }
    if (code == REPEAT || code == WHILE) {
        const Cell bounds = *entry(e, 0);
        const int32_t min = int32_t(bounds.data1);
        m_match = match_repeat(in(), v, min, int32_t(bounds.data2), m_mode) || min == 0;
    } else if (code == TO || code == THRU) {
        m_match = scan_to(in(), v, m_mode, code == THRU);
    } else {
        m_value = v;
        m_state = DISPATCH;
        return;
    }
    if (!event(words::match) || !event(words::pop)) {
        m_state = STOP;
        return;
    }
    pop_entry();
    m_state = AFTER_MATCH;
}

// ---------------------------------------------------------------- entries

void Engine::resolve() {
    // A paren inside the argument may have shortened the input.
    if (head() > input_tail(&input())) set_head(input_tail(&input()));
    const int32_t e = top_entry();
    const Code code = Code(int32_t(entry(e, 2)->data2));
    switch (code) {
        case REPEAT: case WHILE: resolve_repeat(e, code); return;
        case TO: case THRU: resolve_search(e, code); return;
        case COPY:
            if (m_match) {
                const Cell word_cell = *entry(e, 0);
                const Cell copied = copy_part(int32_t(entry(e, 1)->data2), head());
                set_word_from(word_cell, copied);
            }
            break;
        case SET:
            if (m_match) {
                const Cell word_cell = *entry(e, 0);
                const int32_t from = int32_t(entry(e, 1)->data2);
                const Cell value = head() > from ? item_value(from) : make_cell(TYPE_NONE);
                set_word_from(word_cell, value);
            }
            break;
        case NOT:
            m_match = !m_match;
            set_head(std::min(int32_t(entry(e, 1)->data2), input_tail(&input())));
            break;
        case AHEAD:
            set_head(std::min(int32_t(entry(e, 1)->data2), input_tail(&input())));
            break;
        case INTO: resolve_into(); break;
        case REMOVE:
            if (m_match) {
                const int32_t from = int32_t(entry(e, 1)->data2);
                Cell s = input();
                s.data1 = uint32_t(from);
                Cell count = integer_cell(std::max(head() - from, 0));
                actions::remove_direct(&s, &count, nullptr);
                set_head(from);
            }
            break;
        case CHANGE: case CHANGE_ONLY: {
            // The value follows the rule whether or not it matched.
            if (!has_rule(m_rpos + 1)) end_error(*words::get(words::change));
            m_rpos++;
            if (m_match) {
                const int32_t from = int32_t(entry(e, 1)->data2);
                work() = argument_value(rule_at(m_rpos));
                Cell s = input();
                s.data1 = uint32_t(from);
                const Cell* after = actions::change_direct(&s, &work(), std::max(head() - from, 0),
                                                           code == CHANGE_ONLY, 1);
                set_head(int32_t(after->data1));
            }
            break;
        }
        case COLLECT: resolve_collect(e); break;
        case KEEP: resolve_keep(e, entry(e, 2)->data3 != 0); break;
        case CASE: m_mode = int32_t(entry(e, 0)->data1); break;
        default: break;
    }
    if (!event(words::pop)) {
        m_state = STOP;
        return;
    }
    pop_entry();
    m_state = AFTER_MATCH;
}

// An iteration that brought the input no nearer its end stops the loop (but
// while's): removing or changing input in place still makes progress.
void Engine::resolve_repeat(int32_t e, Code code) {
    Cell* bounds = entry(e, 0);
    const int32_t min = int32_t(bounds->data1), max = int32_t(bounds->data2);
    const int32_t count = int32_t(bounds->data3);
    bool go_on = m_match && (max == -1 || count < max);
    if (code != WHILE && remaining() >= int32_t(entry(e, 1)->data3)) go_on = false;
    if (m_break) {
        go_on = false;
        m_break = false;
    }
    if (go_on) {
        bounds->data3 = uint32_t(count + 1);
        Cell* saved = entry(e, 1);
        saved->data2 = uint32_t(head());
        saved->data3 = uint32_t(remaining());
        m_rpos = int32_t(saved->data1);
        m_state = event(words::iterate) ? KEYWORD_ARG : STOP;
        return;
    }
    m_match = m_match ? count >= min : (min == 0 || count - 1 >= min);
    if (!event(words::pop)) {
        m_state = STOP;
        return;
    }
    pop_entry();
    m_state = AFTER_MATCH;
}

// A compound to/thru target: tried at each position up to and at the end.
void Engine::resolve_search(int32_t e, Code code) {
    Cell* saved = entry(e, 1);
    const int32_t start = int32_t(saved->data2);
    if (m_match) {
        if (code == TO) set_head(start);
    } else if (start >= end_position()) {
        set_head(std::min(start, input_tail(&input())));
    } else {
        saved->data2 = uint32_t(start + 1);
        set_head(start + 1);
        m_rpos = int32_t(saved->data1);
        m_match = true;
        m_state = event(words::pop) && event(words::iterate) ? KEYWORD_ARG : STOP;
        return;
    }
    if (!event(words::pop)) {
        m_state = STOP;
        return;
    }
    pop_entry();
    m_state = AFTER_MATCH;
}

void Engine::into(const Cell& w) {
    if (!block::any_block_q(input().type())) {
        const Cell value = input();
        support::fire_error(ErrorId::script_parse_block, &value);
    }
    if (!has_rule(m_rpos + 1)) end_error(w);
    Cell rule = rule_at(m_rpos + 1);
    if (rule.is(TYPE_WORD)) rule = *word::get_value(&rule);
    if (!rule.is(TYPE_BLOCK)) end_error(w);
    const int32_t keyword_index = m_rpos;
    m_rpos++;
    if (at_end()) {
        m_match = false;
        matched();
        return;
    }
    const Cell item = item_value(head());
    const uint32_t t = item.type();
    if (!block::any_block_q(t) && !string::any_string_q(t) && t != TYPE_BINARY) {
        m_match = false;
        matched();
        return;
    }
    check_limit();
    *work_cell(g_inputs, work_length(g_inputs) - 1) = input();
    block::append_cell(&g_inputs, &item);
    input() = item;
    m_into_depth++;
    push_entry(triple(0, 0, 1), triple(keyword_index + 1, head(), remaining()), pair(INTO, 0));
    if (!event(words::push)) {
        m_state = STOP;
        return;
    }
    m_enter = rule;
    m_state = BEGIN_BLOCK;
}

void Engine::resolve_into() {
    m_match = m_match && m_block_complete && head() >= input_tail(&input());
    block::set_tail_at(&g_inputs, work_length(g_inputs) - 1);
    input() = *work_cell(g_inputs, work_length(g_inputs) - 1);
    m_into_depth--;
    if (m_match) set_head(head() + 1);
}

// A word or get-word holding the input series marks a position in it.
bool Engine::marked_input(const Cell& c, int32_t* mark) {
    if (!c.is(TYPE_WORD) && !c.is(TYPE_GET_WORD)) return false;
    if (c.is(TYPE_WORD) && keyword_of(c.data2) != K_NONE_) return false;
    Cell w = c;
    if (!w.data1) return false;
    const Cell* value = word::get_value(&w);
    if (value->type() != input().type() || value->data2 != input().data2) return false;
    *mark = std::min(int32_t(value->data1), input_tail(&input()));
    return true;
}

Cell Engine::eval_paren(const Cell& paren) {
    Cell* top = stack::g_top;
    if (Flow flow = interpreter::eval_block(&paren, false); flow != Flow::normal) throw Leave{flow};
    const Cell result = *top;
    stack::g_top = top;
    return result;
}

// The value of insert and change: a paren's result, a word's value, else the cell.
Cell Engine::argument_value(const Cell& c) {
    switch (c.type()) {
        case TYPE_PAREN: {
            const Cell result = eval_paren(c);
            if (!event(words::paren)) throw Leave{Flow::normal};
            return result;
        }
        case TYPE_WORD: case TYPE_GET_WORD: {
            Cell w = c;
            const Cell value = *word::get_value(&w);
            if (value.is(TYPE_UNSET)) support::fire_error(ErrorId::script_no_value, &w);
            return value;
        }
        case TYPE_PATH: rule_error(c);
        default: return c;
    }
}

void Engine::insert(const Cell& w) {
    int32_t i = m_rpos + 1;
    if (!has_rule(i)) end_error(w);
    bool only = false;
    if (is_word_sym(rule_at(i), sym::only)) {
        only = true;
        i++;
    }
    if (!has_rule(i)) end_error(w);
    int32_t at = head();
    int32_t mark;
    if (marked_input(rule_at(i), &mark)) {
        at = mark;
        i++;
        if (!has_rule(i)) rule_error(w);
    }
    m_rpos = i;
    work() = argument_value(rule_at(i));
    Cell s = input();
    s.data1 = uint32_t(at);
    const Cell* after = actions::insert_direct(&s, &work(), -1, only, 1, false);
    const int32_t inserted = int32_t(after->data1) - at;
    if (at <= head()) set_head(head() + inserted);
    m_match = true;
    m_state = AFTER_MATCH;
}

void Engine::change(const Cell& w) {
    int32_t i = m_rpos + 1;
    if (!has_rule(i)) end_error(w);
    bool only = false;
    if (is_word_sym(rule_at(i), sym::only)) {
        only = true;
        i++;
    }
    if (!has_rule(i)) end_error(w);
    int32_t mark;
    if (marked_input(rule_at(i), &mark)) {
        if (!has_rule(i + 1)) end_error(w);
        m_rpos = i + 1;
        work() = argument_value(rule_at(i + 1));
        const int32_t from = std::min(mark, head());
        Cell s = input();
        s.data1 = uint32_t(from);
        const Cell* after = actions::change_direct(&s, &work(), std::abs(head() - mark), only, 1);
        set_head(int32_t(after->data1));
        m_match = true;
        m_state = AFTER_MATCH;
        return;
    }
    m_rpos = i - 1;
    push_keyword(only ? CHANGE_ONLY : CHANGE, triple(0, 0, 1), i);
}

void Engine::remove(const Cell& w) {
    if (!has_rule(m_rpos + 1)) end_error(w);
    const Cell next = rule_at(m_rpos + 1);
    if (next.is(TYPE_PATH)) rule_error(next);
    int32_t mark;
    if (marked_input(next, &mark)) {
        m_rpos++;
        const int32_t from = std::min(mark, head());
        Cell s = input();
        s.data1 = uint32_t(from);
        Cell count = integer_cell(std::abs(head() - mark));
        actions::remove_direct(&s, &count, nullptr);
        set_head(from);
        m_match = true;
        m_state = AFTER_MATCH;
        return;
    }
    push_keyword(REMOVE, triple(0, 0, 1), m_rpos + 1);
}

// ---------------------------------------------------------------- collect and keep

void Engine::collect(const Cell& w) {
    int32_t i = m_rpos + 1;
    CollectKind kind = C_PLAIN;
    Cell marker = make_cell(TYPE_NONE);
    Cell target{};
    if (has_rule(i) && rule_at(i).is(TYPE_WORD)) {
        const Cell c = rule_at(i);
        if (is_word_sym(c, sym::set)) kind = C_SET;
        else if (is_word_sym(c, sym::into)) kind = C_INTO;
        else if (is_word_sym(c, sym::after)) kind = C_AFTER;
        if (kind != C_PLAIN) {
            if (!has_rule(i + 1) || !rule_at(i + 1).is(TYPE_WORD)) end_error(w);
            marker = rule_at(i + 1);
            i += 2;
        }
    }
    if (!has_rule(i)) end_error(w);
    if (kind == C_INTO || kind == C_AFTER) {
        target = *word::get_value(&marker);
        const uint32_t t = target.type();
        if (!block::any_block_q(t) && !string::any_string_q(t) && t != TYPE_BINARY)
            support::fire_error(ErrorId::script_parse_into_type);
        const bool block_input = block::any_block_q(input().type());
        if (t != input().type() && (t == TYPE_BINARY || (block_input && string::any_string_q(t))))
            support::fire_error(ErrorId::script_parse_into_type);
        if (target.data2 == input().data2) support::fire_error(ErrorId::script_parse_into_bad);
        marker.set_type(kind == C_INTO ? TYPE_GET_WORD : TYPE_REFINEMENT);
    }
    // Two cells on the value stack: the marker, then the block or target.
    Cell* cells = collect_cells() + 2 * m_collect_depth;
    stack::g_top = cells;
    *stack::push_cell() = marker;
    if (kind == C_INTO || kind == C_AFTER) stack::push(&target);
    else block::push_new(8);
    m_collect_depth++;
    m_rpos = i - 1;
    const int32_t kept = kind == C_INTO || kind == C_AFTER ? int32_t(target.data1) : 0;
    push_keyword(COLLECT, triple(kind, kept, 0), i);
}

void Engine::resolve_collect(int32_t e) {
    const CollectKind kind = CollectKind(int32_t(entry(e, 0)->data1));
    Cell* cells = collect_cells() + 2 * (m_collect_depth - 1);
    const Cell marker = cells[0];
    const Cell made = cells[1];
    work() = made;
    stack::g_top = cells;
    m_collect_depth--;
    switch (kind) {
        case C_PLAIN:
            if (m_collect_depth == 0) {
                scratch() = work();
                m_collected = true;
            } else {
                const Cell value = work();
                deliver(value, false);
            }
            break;
        case C_SET: set_word_from(marker, work()); break;
        default: break;  // the target's word keeps its own position
    }
}

Cell Engine::item_value(int32_t index) {
    const Cell& s = input();
    switch (input_kind(&s)) {
        case STRING_INPUT: return make_cell(TYPE_CHAR, 0, unit_at(&s, index));
        case BINARY_INPUT: return integer_cell(int32_t(unit_at(&s, index)));
        default: return *block::cell_at(&s, index);
    }
}

Cell Engine::copy_part(int32_t from, int32_t to) {
    Cell s = input();
    s.data1 = uint32_t(from);
    Cell part = integer_cell(std::max(to - from, 0));
    work() = make_cell(TYPE_NONE);
    actions::copy_direct(&s, &work(), &part, false, nullptr);
    return work();
}

void Engine::set_word_from(const Cell& word_cell, const Cell& value) {
    Cell w = word_cell;
    w.set_type(TYPE_WORD);
    work() = value;
    word::set_value(&w, &work());
}

void Engine::keep(const Cell& w) {
    if (m_collect_depth == 0) {
        Cell k = w;
        support::fire_error(ErrorId::script_parse_keep, &k);
    }
    int32_t i = m_rpos + 1;
    bool pick = false;
    if (has_rule(i) && is_word_sym(rule_at(i), sym::pick)) {
        pick = true;
        i++;
    }
    if (!has_rule(i)) end_error(w);
    if (rule_at(i).is(TYPE_PAREN)) {
        m_rpos = i;
        const Cell result = eval_paren(rule_at(i));
        if (!event(words::paren)) {
            m_state = STOP;
            return;
        }
        work() = result;
        deliver(work(), pick && block::any_block_q(result.type()));
        m_match = true;
        m_state = AFTER_MATCH;
        return;
    }
    m_rpos = i - 1;
    push_keyword(KEEP, triple(0, 0, 1), i, pick ? 1 : 0);
}

void Engine::resolve_keep(int32_t e, bool pick) {
    if (!m_match) return;
    const int32_t from = int32_t(entry(e, 1)->data2);
    const int32_t arg = int32_t(entry(e, 1)->data1);
    const int32_t n = head() - from;
    if (n <= 0) return;
    // keep copy word rule: the copy's value is what is kept.
    const Cell first = rule_at(arg);
    if (is_word_sym(first, sym::copy) && has_rule(arg + 1) && rule_at(arg + 1).is(TYPE_WORD)) {
        Cell word_cell = rule_at(arg + 1);
        work() = *word::get_value(&word_cell);
        deliver(work(), false);
        return;
    }
    if (n == 1) {
        work() = item_value(from);
        deliver(work(), false);
        return;
    }
    const Cell* target = &collect_cells()[2 * (m_collect_depth - 1) + 1];
    const Cell marker = collect_cells()[2 * (m_collect_depth - 1)];
    const bool into_target = marker.is(TYPE_GET_WORD) || marker.is(TYPE_REFINEMENT);
    if (into_target && !block::any_block_q(target->type()) && !block::any_block_q(input().type())) {
        Cell* t = &collect_cells()[2 * (m_collect_depth - 1) + 1];
        if (keep_run(&input(), from, t, marker.is(TYPE_REFINEMENT))) return;
    }
    if (pick) {
        for (int32_t k = from; k < from + n; k++) {
            work() = item_value(k);
            deliver(work(), false);
        }
        return;
    }
    work() = copy_part(from, from + n);
    deliver(work(), false);
}

// Puts a kept value into the innermost collect: appended to its block, or
// into an into/after target (into: at its position, which moves past it).
void Engine::deliver(const Cell& value, bool splice) {
    Cell* cells = collect_cells() + 2 * (m_collect_depth - 1);
    const Cell marker = cells[0];
    Cell* target = &cells[1];
    if (splice) {
        Cell* spliced = stack::push(&value);  // work() is reused for each item
        const int32_t n = block::length_from_head(spliced);
        for (int32_t k = 0; k < n; k++) {
            const Cell item = *block::cell_at(spliced, block::head_index(spliced) + k);
            deliver(item, false);
        }
        stack::pop(1);
        return;
    }
    work() = value;
    if (marker.is(TYPE_GET_WORD)) {
        Cell* after = actions::insert_direct(target, &work(), -1, true, 1, false);
        target->data1 = after->data1;
    } else if (marker.is(TYPE_REFINEMENT)) {
        Cell t = *target;
        actions::insert_direct(&t, &work(), -1, true, 1, true);
    } else {
        block::append_cell(target, &work());
    }
}

bool Engine::invoke_callback(const Cell* event_word) {
    Cell args[5];
    args[0] = *event_word;
    args[1] = logic::make_value(m_match);
    args[2] = rules();
    args[2].data1 = uint32_t(std::max(m_rpos, 0));
    args[3] = input();
    args[4] = g_rules;
    Cell* top = stack::g_top;
    for (Cell& a : args) stack::push(&a);  // rooted while the call runs
    const Cell* name = words::get(words::parse_callback);
    Flow flow = interpreter::call_function(m_callback, top, 5, true, name);
    if (flow != Flow::normal) throw Leave{flow};
    const Cell answer = stack::g_top[-1];
    stack::g_top = top;
    return !logic::false_value(&answer);
}

// Puts the work blocks back as the parse found them, however it ends.
class WorkScope {
public:
    WorkScope() {
        init();
        m_rules_head = g_rules.data1;
        m_inputs_head = g_inputs.data1;
        m_rules_tail = work_length(g_rules);
        m_inputs_tail = work_length(g_inputs);
        g_rules.data1 = uint32_t(m_rules_tail);
        g_inputs.data1 = uint32_t(m_inputs_tail);
    }
    ~WorkScope() {
        block::set_tail_at(&g_rules, m_rules_tail);
        block::set_tail_at(&g_inputs, m_inputs_tail);
        g_rules.data1 = m_rules_head;
        g_inputs.data1 = m_inputs_head;
    }
    WorkScope(const WorkScope&) = delete;
    WorkScope& operator=(const WorkScope&) = delete;

private:
    uint32_t m_rules_head, m_inputs_head;
    int32_t m_rules_tail, m_inputs_tail;
};

}  // namespace

void init() {
    if (g_anchor.current() && g_rules.data2) return;
    g_anchor.make();
    build_keyword_table();
    g_inputs = *block::make_in(nullptr, 8);
    g_rules = *block::make_in(nullptr, 100);
}

Cell* input_stack() {
    init();
    return &g_inputs;
}
Cell* rule_stack() {
    init();
    return &g_rules;
}

Flow parse(const Cell* input, const Cell* rules, const Options& options, Cell* result) {
    WorkScope scope;
    Cell* const start = stack::g_top;
    Options opts = options;
    if (opts.callback) opts.callback = stack::push(opts.callback);  // rooted while we run
    Cell* regs = stack::g_top;
    for (int i = 0; i < 4; i++) *stack::push_cell() = make_cell(TYPE_UNSET);
    regs[1] = *rules;
    regs[2] = *input;
    const int32_t tail = input_tail(&regs[2]);
    if (int32_t(regs[2].data1) > tail) regs[2].data1 = uint32_t(tail);
    block::append_cell(&g_inputs, &regs[2]);
    Engine engine(regs, opts);
    try {
        engine.run();
    } catch (const Leave& leave) {
        stack::g_top = start;
        if (leave.flow != Flow::normal) return leave.flow;
        *result = logic::make_value(false);  // the callback stopped the parse
        return Flow::normal;
    }
    *result = engine.collected() ? regs[0] : logic::make_value(engine.match());
    stack::g_top = start;
    return Flow::normal;
}

}  // namespace zun::parser
