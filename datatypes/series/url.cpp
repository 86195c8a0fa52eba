#include "datatypes/series/url.hpp"

#include <array>
#include <climits>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "core/unicode.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/port.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/stack.hpp"
#include "services/http.hpp"

namespace zun::url {

using memory::SeriesBuffer;

namespace {

using Table = std::array<bool, 128>;

constexpr Table table_of(const char* kept) {
    Table t{};
    for (const char* p = kept; *p; p++) t[uint8_t(*p)] = true;
    for (int c = '0'; c <= '9'; c++) t[c] = true;
    for (int c = 'A'; c <= 'Z'; c++) t[c] = true;
    for (int c = 'a'; c <= 'z'; c++) t[c] = true;
    return t;
}
constexpr Table WIDE = table_of("!#$&'()*+,-./:=?@_~");
constexpr Table COMPONENT = table_of("-._~");

constexpr char HEX[] = "0123456789ABCDEF";

int hex_value(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

inline bool block_type_q(uint32_t t) {
    return t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH;
}

// The escaped text of the string in the mode; at most limit bytes when
// limit >= 0 (an escape is never cut).
const std::string& escaped_of(Cell* str, int mode, int64_t limit) {
    static std::string out;
    const std::string& bytes = utf8_of(str);
    out.clear();
    out.reserve(bytes.size() * 3);
    for (char c : bytes) {
        if (limit >= 0 && int64_t(out.size()) >= limit) break;
        int count = 0;
        const char* text = escape_byte(mode, reinterpret_cast<const uint8_t*>(&c), &count);
        out.append(text, size_t(count));
    }
    if (limit >= 0 && int64_t(out.size()) > limit) out.resize(size_t(limit));
    return out;
}

// A new string on the stack; the caller's scope drops it.
Cell* push_string(uint32_t room, uint32_t unit = 1) {
    Cell* cell = stack::push_cell();
    *cell = make_cell(TYPE_UNSET);
    return string::make_at(cell, room, unit);
}

}  // namespace

bool keeps_byte_q(int mode, uint32_t byte) {
    if (byte >= 128) return false;
    return mode == COMPONENT_MODE ? COMPONENT[byte] : WIDE[byte];
}

const char* escape_byte(int mode, const uint8_t* byte, int* count) {
    static char text[4];
    if (keeps_byte_q(mode, *byte)) {
        text[0] = char(*byte);
        text[1] = 0;
        *count = 1;
    } else {
        text[0] = '%';
        text[1] = HEX[*byte >> 4];
        text[2] = HEX[*byte & 15];
        text[3] = 0;
        *count = 3;
    }
    return text;
}

bool decode_hex_pair(const uint8_t* text, const uint8_t* end, uint8_t* byte) {
    if (end - text < 3 || text[0] != '%') return false;
    int high = hex_value(text[1]), low = hex_value(text[2]);
    if (high < 0 || low < 0) return false;
    *byte = uint8_t(high << 4 | low);
    return true;
}

const std::string& utf8_of(Cell* str, int32_t limit) {
    static std::string out;
    int32_t n = string::length_from_head(str);
    if (limit >= 0 && limit < n) n = limit;
    SeriesBuffer* b = string::buffer_of(str);
    const uint8_t* p = string::head_pointer(str);
    uint32_t unit = b->unit();
    out.resize(size_t(unicode::utf8_size_of_units(p, p + int64_t(n) * unit, unit)));
    uint8_t* o = reinterpret_cast<uint8_t*>(out.data());
    for (int32_t i = 0; i < n; i++, p += unit) o += unicode::encode_utf8_char(string::get_char(p, unit), o);
    return out;
}

void encode_escapes(Cell* str, Cell* target, int mode) {
    const std::string& text = escaped_of(str, mode, -1);
    // The scratch text lies outside every series buffer, so the append may move them.
    string::append_bytes(target, reinterpret_cast<const uint8_t*>(text.data()),
                         uint32_t(text.size()));
}

void decode_escapes(Cell* str, Cell* target) {
    const std::string& text = utf8_of(str);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(text.data());
    const uint8_t* end = p + text.size();
    NodeId node = target->data2;
    SeriesBuffer* b = memory::buffer_of(node);
    while (p < end) {
        uint8_t lead;
        if (decode_hex_pair(p, end, &lead)) {
            uint32_t n = unicode::utf8_sequence_length(lead);
            if (n == 0) {
                b = string::append_char(b, lead);
                p += 3;
                continue;
            }
            uint8_t bytes[4] = {lead};
            uint32_t have = 1;
            while (have < n && decode_hex_pair(p + 3 * have, end, &bytes[have])) have++;
            if (have == n) {
                int32_t cp = unicode::REJECTED;
                // A malformed sequence is kept as text rather than raised.
                if (unicode::decode_utf8_char(bytes, bytes + n, &cp) == bytes + n && cp >= 0) {
                    b = string::append_char(b, uint32_t(cp));
                    p += 3 * n;
                    continue;
                }
            }
        }
        int32_t cp = 0;
        p = unicode::decode_utf8_char(p, end, &cp);
        b = string::append_char(b, cp < 0 ? 0xFFFD : uint32_t(cp));
    }
}

Cell* push_copy(const Cell* url) { return stack::push(url); }

// ---------------------------------------------------------------- actions

Cell* make(Cell* proto, Cell* spec, int type) {
    if (type == TYPE_URL && block_type_q(spec->type())) return to(proto, spec, type);
    return string::make(proto, spec, type);
}

// A block gives scheme://host:port/path...; anything else converts as text.
Cell* to(Cell* proto, Cell* spec, int type) {
    if (type != TYPE_URL || !block_type_q(spec->type())) return string::to(proto, spec, type);
    NodeId node = spec->data2;
    int32_t head = std::max(int32_t(spec->data1), 0);
    auto count = [&] { return int32_t(memory::buffer_of(node)->used() / sizeof(Cell)) - head; };
    if (count() <= 0) {
        Cell datatype = make_cell(TYPE_DATATYPE, TYPE_URL);
        support::fire_error(ErrorId::script_bad_to_arg, &datatype, spec);
    }
    Cell* result = push_string(16);
    Cell* element = stack::push(&shared_unset_cell);
    // Elements are copied to the stack before forming: forming allocates.
    auto form_at = [&](int32_t i) {
        *element = memory::buffer_of(node)->head_cell()[head + i];
        actions::form_direct(element, result, nullptr, INT_MAX);
        return element->type();
    };
    form_at(0);
    string::append_c_string(result, "://");
    int32_t i = 1;
    if (count() > 1) {
        form_at(i++);
        if (count() > 2 && memory::buffer_of(node)->head_cell()[head + 2].is(TYPE_INTEGER)) {
            string::append_c_string(result, ":");
            form_at(i++);
        }
    }
    if (i < count()) {
        string::append_c_string(result, "/");
        for (bool first = true; i < count(); i++, first = false) {
            if (!first) {
                bool issue = memory::buffer_of(node)->head_cell()[head + i].is(TYPE_ISSUE);
                string::append_c_string(result, issue ? "#" : "/");
            }
            form_at(i);
        }
    }
    result->header = TYPE_URL;
    stack::pop(1);  // the element
    return result;
}

int mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* arg, int part, int) {
    const std::string& text = escaped_of(value, WIDE_MODE, arg ? std::max(part, 0) : -1);
    string::append_bytes(buffer, reinterpret_cast<const uint8_t*>(text.data()),
                         uint32_t(text.size()));
    return part - int(text.size());
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int, bool,
                bool, bool, bool) {
    static Cell g_result;
    if (value)
        support::fire_error(ErrorId::script_bad_path_set, path ? path : &shared_none_cell, element);
    stack::StackScope scope;
    int32_t length = string::length_from_head(parent);
    uint32_t unit = string::buffer_of(parent)->unit();
    Cell* result = push_string(uint32_t(length) + 16, unit);
    Cell copy = *element;
    Cell* e = stack::push(&copy);
    actions::form_direct(e, result, nullptr, INT_MAX);
    bool element_slash = string::length_from_head(result) > 0 && string::char_at(result, 0) == '/';
    bool parent_slash = length > 0 && string::char_at(parent, string::head_index(parent) + length - 1) == '/';
    if (length > 0 && !parent_slash && !element_slash)
        string::insert_char_at(string::buffer_of(result), 0, '/');
    else if (parent_slash && element_slash)
        string::remove_unit_at(result, 0);
    string::concatenate(result, parent, length, 0, false, string::INSERT_MODE);
    result->header = parent->type();
    result->data1 = 0;
    g_result = *result;
    return &g_result;
}

// ---------------------------------------------------------------- ports and HTTP

namespace {

bool http_q(Cell* url) { return string::starts_with_c_text_q(url, "http"); }

// The request's answer, or access no-connect with the url and the reason.
Cell* request(file_io::HttpRequest& r) {
    std::string reason;
    Cell* answer = file_io::http_request(r, &reason);
    // Ctrl-C ended the transfer: the evaluator halts at its next step.
    if (answer->is(TYPE_NONE) && interpreter::g_interrupt) return answer;
    if (answer->is(TYPE_NONE)) {
        Cell* why = string::load_c_text(reason.data(), uint32_t(reason.size()), 0);
        support::fire_error(ErrorId::access_no_connect, r.url, why);
    }
    return answer;
}

Cell word_named(const char* name) {
    return make_cell(TYPE_WORD, 0, symbol::make(name), context::NO_INDEX);
}

}  // namespace

Cell* port_from_url(Cell* url, bool open_flag, bool new_, bool read, bool write, bool seek,
                    Cell* allow) {
    const Cell given = *url;
    const uint32_t symbol = symbol::make("decode-url");
    const Cell* found = context::find_word_value(symbol, context::global());
    if (!found || !found->is(TYPE_FUNCTION)) support::fire_error(ErrorId::internal_not_done);
    Cell* held = stack::push(found);
    Cell* args = stack::push(&given);
    const Cell name = context::resolve_symbol(context::global(), symbol);
    if (Flow flow = interpreter::call_function(held, args, 1, true, &name); flow != Flow::normal)
        interpreter::raise_pending(flow);
    Cell* parts = stack::g_top - 1;
    if (!parts->is(TYPE_OBJECT)) support::fire_error(ErrorId::script_invalid_arg, &given);
    Cell* port = port::make(nullptr, parts, TYPE_PORT);
    if (!open_flag) return port;
    return port::open(port, new_, read, write, seek, allow);
}

namespace {

Cell* open(Cell* url, bool new_, bool read, bool write, bool seek, Cell* allow) {
    return port_from_url(url, true, new_, read, write, seek, allow);
}

Cell* read(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as) {
    if (!http_q(source)) {
        Cell* port = port_from_url(source, false, false, false, false, false, nullptr);
        return port::read(port, part, seek, binary, lines, info, as);
    }
    if (part || seek || as) support::fire_error(ErrorId::internal_not_done);
    const Cell get = word_named("get");
    file_io::HttpRequest r{&get, source, nullptr, nullptr, binary, lines, info};
    return request(r);
}

bool data_type_q(const Cell& data) {
    return data.is(TYPE_NONE) || data.is(TYPE_BLOCK) || data.is(TYPE_STRING) ||
           data.is(TYPE_BINARY);
}

Cell* write(Cell* destination, Cell* data, bool binary, bool lines, bool info, bool append,
            Cell* part, Cell* seek, Cell* allow, Cell* as) {
    if (!http_q(destination)) {
        Cell* copy = stack::push_cell();
        actions::copy_direct(data, copy, nullptr, true, nullptr);
        Cell* port = port_from_url(destination, false, false, false, false, false, nullptr);
        return port::write(port, copy, binary, lines, info, append, part, seek, allow, as);
    }
    if (seek || allow || as) support::fire_error(ErrorId::internal_not_done);
    Cell method = word_named("post");
    const Cell* headers = nullptr;
    Cell body = *data;
    if (data->is(TYPE_BLOCK)) {
        // [method headers data]: an empty block is a plain GET
        const int32_t head = block::head_index(data), n = block::length_from_head(data);
        method = word_named("get");
        body = make_cell(TYPE_NONE);
        if (n > 0) {
            const Cell first = *block::cell_at(data, head);
            if (!first.is(TYPE_WORD)) support::fire_error(ErrorId::script_invalid_arg, &first);
            method = make_cell(TYPE_WORD, 0, symbol::canonical(first.data2), context::NO_INDEX);
        }
        if (n > 1) {
            headers = block::cell_at(data, head + 1);
            if (!headers->is(TYPE_BLOCK)) support::fire_error(ErrorId::script_invalid_arg, headers);
        }
        if (n > 2) body = *block::cell_at(data, head + 2);
    }
    if (!data_type_q(body)) support::fire_error(ErrorId::script_invalid_arg, &body);
    Cell* held_headers = headers ? stack::push(headers) : nullptr;
    Cell* held_body = stack::push(&body);
    file_io::HttpRequest r{&method, destination, held_headers,
                           held_body->is(TYPE_NONE) ? nullptr : held_body, binary, lines, info};
    return request(r);
}

}  // namespace

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(&make), E, E, own<A_TO>(&to), inherit<A_FORM>(), own<A_MOLD>(&mold),
        /*  7 */ own<A_EVAL_PATH>(&eval_path), E, inherit<A_COMPARE>(), E, E, E, E, E,
        /* 15 */ E, E, E, E, E, E, E, E,
        /* 23 */ E, E, inherit<A_APPEND>(), inherit<A_AT>(), inherit<A_BACK>(), inherit<A_CHANGE>(),
        /* 29 */ inherit<A_CLEAR>(), inherit<A_COPY>(), inherit<A_FIND>(), inherit<A_HEAD>(),
        /* 33 */ inherit<A_HEAD_Q>(), inherit<A_INDEX_Q>(), inherit<A_INSERT>(),
        /* 36 */ inherit<A_LENGTH_Q>(), inherit<A_MOVE>(), inherit<A_NEXT>(), inherit<A_PICK>(),
        /* 40 */ inherit<A_POKE>(), E, inherit<A_REMOVE>(), inherit<A_REVERSE>(),
        /* 44 */ inherit<A_SELECT>(), E, inherit<A_SKIP>(), inherit<A_SWAP>(), inherit<A_TAIL>(),
        /* 49 */ inherit<A_TAIL_Q>(), inherit<A_TAKE>(), E, E, E, E, inherit<A_MODIFY>(),
        /* 56 */ own<A_OPEN>(&open), E, E, own<A_READ>(&read), E, E, own<A_WRITE>(&write));
    registry::register_type(TYPE_URL, TYPE_STRING, "url!", slots);
}

}  // namespace zun::url
