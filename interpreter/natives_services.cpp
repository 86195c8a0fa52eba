// System natives over the services: wait, checksum, the environment, call,
// browse, compress and decompress, and apply.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/console_out.hpp"
#include "core/memory.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "core/unicode.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/file.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "gui/backend.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"
#include "platform/platform.hpp"
#include "services/clipboard.hpp"
#include "services/checksum.hpp"
#include "services/compress.hpp"
#include "services/files.hpp"
#include "services/os_info.hpp"
#include "services/process.hpp"

namespace zun::natives {

namespace {

constexpr int32_t ABSENT = -1;

Cell* arg(int i) { return stack::g_base + i; }
Cell* refinement_arg(const int32_t* refinements, int i) {
    return refinements[i] == ABSENT ? nullptr : stack::g_base + refinements[i];
}
bool used(const int32_t* refinements, int i) { return refinements[i] != ABSENT; }

Flow result(const Cell& value) {
    stack::set_result_reset(&value);
    return Flow::normal;
}

[[noreturn]] void invalid_arg(const Cell* value) {
    support::fire_error(ErrorId::script_invalid_arg, value);
}

// The text of a string-family cell from its head, as UTF-8.
std::string utf8_of(const Cell* str) {
    Cell copy = *str;  // the export keeps its buffer in word 3 of the cell it is given
    Cell* held = stack::push(&copy);
    int32_t n = -1;
    const char* text = unicode::to_utf8(held, &n);
    std::string out(text, size_t(n));
    stack::pop(1);
    return out;
}

// The bytes of a 1-byte-unit series (binary!, Latin-1 string) from its head,
// a head past the tail giving no bytes; good until the next allocation.
const uint8_t* binary_bytes(const Cell* bin, size_t* length) {
    memory::SeriesBuffer* b = memory::buffer_of(bin->data2);
    int64_t head = int32_t(bin->data1);
    if (head < 0) head = 0;
    if (head > int64_t(b->used())) head = b->used();
    *length = b->used() - size_t(head);
    return b->head_ptr() + head;
}

// A string's text as UTF-8 from its head: ASCII in a 1-byte buffer is used in
// place (good until the next allocation), anything else is encoded into owned.
const uint8_t* text_bytes(const Cell* str, std::string& owned, size_t* length) {
    if (memory::buffer_of(str->data2)->unit() == 1) {
        size_t n;
        const uint8_t* p = binary_bytes(str, &n);
        // Whole words OR-ed together: the compiler vectorizes this scan.
        uint64_t bits = 0;
        size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            uint64_t word;
            std::memcpy(&word, p + i, 8);
            bits |= word;
        }
        for (; i < n; i++) bits |= p[i];
        if ((bits & 0x8080808080808080ull) == 0) {
            *length = n;
            return p;
        }
    }
    owned = utf8_of(str);
    *length = owned.size();
    return reinterpret_cast<const uint8_t*>(owned.data());
}

// A word's spelling or a string's text.
std::string name_of(const Cell* value) {
    if (word::any_word_type_q(value->type())) return std::string(symbol::name(value->data2));
    if (!string::any_string_q(value->type())) invalid_arg(value);
    return utf8_of(value);
}

Cell* push_binary(const uint8_t* bytes, size_t length) {
    Cell* cell = stack::push_cell();
    *cell = make_cell(TYPE_NONE);
    NodeId node = memory::alloc_bytes(uint32_t(length));
    memory::SeriesBuffer* b = memory::buffer_of(node);
    if (length) std::memcpy(b->tail_ptr(), bytes, length);
    b->tail += uint32_t(length);
    *cell = make_cell(TYPE_BINARY, 0, node, 0);
    return cell;
}

// Inserts at the binary's position; the bytes must not lie in a series buffer.
void insert_bytes(const Cell* bin, const uint8_t* bytes, size_t n) {
    if (n == 0) return;
    memory::SeriesBuffer* b = memory::buffer_of(bin->data2);
    const uint64_t used = b->used();
    if (used + n > INT32_MAX) support::fire_error(ErrorId::internal_no_memory);
    if (uint64_t(b->tail) + n > b->size)
        b = memory::expand_series(b, int64_t(std::max<uint64_t>((used + n) * 2, 16)));
    int64_t head = int32_t(bin->data1);
    if (head < 0) head = 0;
    if (head > int64_t(used)) head = int64_t(used);
    uint8_t* at = b->head_ptr() + head;
    std::memmove(at + n, at, size_t(used - uint64_t(head)));
    std::memcpy(at, bytes, n);
    b->tail += uint32_t(n);
}

// The OS path of a file!; access cannot-open when the text cannot name a file.
std::string os_path(const Cell* file) {
    Cell copy = *file;
    Cell* held = stack::push(&copy);
    std::string path;
    const bool ok = file::to_os_c_string(held, path);
    stack::pop(1);
    if (!ok) support::fire_error(ErrorId::access_cannot_open, file);
    return path;
}

// A word! holding the name, for error arguments.
Cell word_named(const char* name) { return *word::make_global(name); }

[[noreturn]] void invalid_refine_arg(const Cell* value) {
    const Cell with = word_named("with");
    support::fire_error(ErrorId::script_invalid_refine_arg, &with, value);
}

checksum::Method method_word(const Cell* method) {
    if (!method->is(TYPE_WORD)) invalid_arg(method);
    const std::string_view name = symbol::name(method->data2);
    return checksum::method_of(name.data(), name.size());
}

// The bytes a string-family value or a binary! stands for (string text as UTF-8).
std::string key_bytes(const Cell* key) {
    if (key->is(TYPE_BINARY)) {
        size_t n;
        const uint8_t* p = binary_bytes(key, &n);
        return std::string(reinterpret_cast<const char*>(p), n);
    }
    return utf8_of(key);
}

}  // namespace

Flow wait(int, const int32_t*) {
    const Cell* value = arg(0);
    double seconds;
    switch (value->type()) {
        case TYPE_INTEGER: seconds = value->as_int(); break;
        case TYPE_FLOAT:
        case TYPE_TIME: seconds = value->as_double(); break;
        default: invalid_arg(value);
    }
    // Other programs may paste what we copied meanwhile.
    if (!clipboard::serve_while_waiting(platform::wait_milliseconds(seconds))) platform::wait(seconds);
    // windows stay responsive across a wait: one pass over what came
    if (gui::display_open()) (void)gui::do_events(true);
    return result(shared_none_cell);
}

Flow checksum(int, const int32_t* refinements) {
    Cell* data = arg(0);
    const Cell* with = refinement_arg(refinements, 0);
    if (!data->is(TYPE_STRING) && !data->is(TYPE_BINARY) && !data->is(TYPE_FILE)) invalid_arg(data);
    const checksum::Method method = method_word(arg(1));
    if (method == checksum::NO_METHOD) invalid_arg(arg(1));
    if (with && (method == checksum::CRC32 || method == checksum::TCP || method == checksum::ADLER32))
        invalid_refine_arg(arg(1));
    std::string key;
    if (with) {
        if (with->is(TYPE_INTEGER)) {
            // The table-size hash has no algorithm yet.
            console_out::write_cstring("** /hash support not yet implemented; algorithm TBD.\n");
            return result(integer_cell(0));
        }
        if (!with->is(TYPE_BINARY) && !string::any_string_q(with->type())) invalid_arg(with);
        if (method == checksum::HASH) invalid_refine_arg(with);
        key = key_bytes(with);  // before the data's bytes are taken: this may allocate
    } else if (method == checksum::HASH) {
        invalid_refine_arg(arg(1));
    }
    std::string owned;  // text and file data live here
    const uint8_t* bytes;
    size_t length;
    if (data->is(TYPE_BINARY)) {
        bytes = binary_bytes(data, &length);
    } else if (data->is(TYPE_FILE)) {
        // The file's bytes replace the data argument: it keeps them alive.
        *data = *file_io::read_target(data, nullptr, nullptr, true, false);
        bytes = binary_bytes(data, &length);
    } else {
        bytes = text_bytes(data, owned, &length);
    }
    switch (method) {
        case checksum::CRC32: return result(integer_cell(int32_t(checksum::crc32(bytes, length))));
        case checksum::TCP: return result(integer_cell(int32_t(checksum::tcp(bytes, length))));
        case checksum::ADLER32:
            return result(integer_cell(int32_t(checksum::adler32(bytes, length))));
        default: break;
    }
    uint8_t digest[checksum::MAX_DIGEST];
    const bool ok =
        with ? checksum::hmac(bytes, length, reinterpret_cast<const uint8_t*>(key.data()),
                              key.size(), method, digest)
             : checksum::digest(bytes, length, method, digest);
    if (!ok) invalid_arg(arg(1));  // the crypto library refused the algorithm
    return result(*push_binary(digest, checksum::digest_size(method)));
}

// Names the OS cannot hold (empty, or with '=' or NUL) are refused.
Flow set_env(int, const int32_t*) {
    const Cell* var = arg(0);
    const Cell* value = arg(1);
    const std::string name = name_of(var);
    if (name.empty() || name.find_first_of(std::string("=\0", 2)) != std::string::npos)
        invalid_arg(var);
    if (value->is(TYPE_NONE)) {
        platform::set_env(name.c_str(), nullptr);
    } else if (!value->is(TYPE_STRING)) {
        invalid_arg(value);
    } else {
        const std::string text = utf8_of(value);
        if (text.find('\0') != std::string::npos) invalid_arg(value);
        if (!platform::set_env(name.c_str(), text.c_str()))
            support::fire_error(ErrorId::internal_no_memory);
    }
    return result(*value);
}

Flow get_env(int, const int32_t*) {
    const std::string name = name_of(arg(0));
    if (name.empty() || name.find_first_of(std::string("=\0", 2)) != std::string::npos)
        return result(shared_none_cell);
    const size_t size = platform::get_env(name.c_str(), nullptr, 0);
    if (size < 1) return result(shared_none_cell);
    std::string value(size, '\0');
    const size_t length = platform::get_env(name.c_str(), value.data(), value.size());
    value.resize(length);
    return result(*os_info::push_text(value.data(), value.size()));
}

Flow list_env(int, const int32_t*) { return result(*os_info::push_env_map()); }

namespace {

void prepare_input(const Cell* in, process::Redirect& r) {
    if (!in) return;
    if (in->is(TYPE_FILE)) {
        r.kind = process::Redirect::FILE;
        r.path = os_path(in);
    } else if (in->is(TYPE_BINARY)) {
        r.kind = process::Redirect::MEMORY;
        size_t n;
        const uint8_t* p = binary_bytes(in, &n);
        r.bytes.assign(p, p + n);
    } else if (in->is(TYPE_STRING)) {
        r.kind = process::Redirect::MEMORY;
        const std::string text = utf8_of(in);
        r.bytes.assign(text.begin(), text.end());
    } else {
        invalid_arg(in);
    }
}

void prepare_output(const Cell* out, process::Redirect& r) {
    if (!out) return;
    if (out->is(TYPE_FILE)) {
        r.kind = process::Redirect::FILE;
        r.path = os_path(out);
    } else if (out->is(TYPE_BINARY) || out->is(TYPE_STRING)) {
        r.kind = process::Redirect::MEMORY;
    } else {
        invalid_arg(out);
    }
}

// Caught output: appended to a string as text (a leading byte-order mark
// dropped, CR LF as LF, malformed UTF-8 as U+FFFD), inserted into a binary.
void deliver_output(const Cell* target, const process::Redirect& r) {
    if (!target || r.kind != process::Redirect::MEMORY || r.bytes.empty()) return;
    if (target->is(TYPE_BINARY)) {
        insert_bytes(target, r.bytes.data(), r.bytes.size());
        return;
    }
    const std::string text =
        os_info::valid_utf8(reinterpret_cast<const char*>(r.bytes.data()), r.bytes.size());
    unicode::load_utf8_into(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()),
                            target, nullptr, true);
}

}  // namespace

Flow call(int, const int32_t* refinements) {
    const Cell* cmd = arg(0);
    if (!cmd->is(TYPE_STRING) && !cmd->is(TYPE_FILE)) invalid_arg(cmd);
    const std::string command = cmd->is(TYPE_FILE) ? os_path(cmd) : utf8_of(cmd);
    if (command.empty()) return result(integer_cell(0));
    if (used(refinements, 2)) not_done_raise();  // /console
    process::Options options;
    options.wait = used(refinements, 0);
    options.shell = used(refinements, 3);
    const Cell* in = refinement_arg(refinements, 4);
    const Cell* out = refinement_arg(refinements, 5);
    const Cell* err = refinement_arg(refinements, 6);
    process::Redirect input, output, error;
    support::no_memory_guard([&] {
        prepare_input(in, input);
        prepare_output(out, output);
        prepare_output(err, error);
    });
    process::Result r;
    support::no_memory_guard([&] {
        if (cmd->is(TYPE_FILE) && !options.shell)
            r = process::run_argv({command}, options, input, output, error);
        else
            r = process::run(cmd->is(TYPE_FILE) ? process::shell_quote(command) : command,
                             options, input, output, error);
    });
    if (r.value == -1) {
        if (r.input_failed)
            support::fire_error(ErrorId::access_cannot_open, in);
        support::fire_error(ErrorId::access_cannot_open, cmd);
    }
    if (r.no_memory) support::fire_error(ErrorId::internal_no_memory);
    support::no_memory_guard([&] {
        deliver_output(out, output);
        deliver_output(err, error);
    });
    return result(integer_cell(r.value));
}

Flow browse(int, const int32_t*) {
    const Cell* target = arg(0);
    if (!target->is(TYPE_URL) && !target->is(TYPE_FILE)) invalid_arg(target);
    process::Redirect none_in, none_out, none_err;
    const process::Result r =
        process::run_argv({"xdg-open", target->is(TYPE_FILE) ? os_path(target) : utf8_of(target)},
                          {}, none_in, none_out, none_err);
    if (r.value == -1) support::fire_error(ErrorId::access_cannot_open, target);
    return result(shared_unset_cell);
}

namespace {

compress::Method compression_method(const Cell* method) {
    if (!method->is(TYPE_WORD)) invalid_arg(method);
    const compress::Method m = compress::method_of(method->data2);
    if (m == compress::NO_METHOD) invalid_arg(method);
    return m;
}

[[noreturn]] void invalid_data() { support::fire_error(ErrorId::script_invalid_data); }

// A failed service: an output too large for a binary! is no-memory, the rest
// bad data.
[[noreturn]] void service_failed(int32_t r) {
    if (r == compress::TOO_LARGE) support::fire_error(ErrorId::internal_no_memory);
    invalid_data();
}

// A new binary! with room for capacity bytes, on the stack; sizes a binary
// cannot have raise no-memory.
Cell* push_output(int64_t capacity) {
    if (capacity > INT32_MAX) support::fire_error(ErrorId::internal_no_memory);
    Cell* cell = stack::push_cell();
    *cell = make_cell(TYPE_NONE);
    const NodeId node = memory::alloc_bytes(uint32_t(std::max<int64_t>(capacity, 0)));
    *cell = make_cell(TYPE_BINARY, 0, node, 0);
    return cell;
}

// A result that fills less than half its room is copied into a binary! of its
// own size, so the room a first guess took is not kept alive with it.
Cell* trimmed(Cell* out, int64_t capacity) {
    const uint32_t size = memory::buffer_of(out->data2)->used();
    if (capacity < 4096 || size >= capacity / 2) return out;
    const NodeId node = memory::alloc_bytes(size);
    memory::SeriesBuffer* b = memory::buffer_of(node);
    std::memcpy(b->data(), memory::buffer_of(out->data2)->data(), size);  // re-read: it may have moved
    b->tail = size;
    *out = make_cell(TYPE_BINARY, 0, node, 0);
    return out;
}

// At most two attempts: a first too-small answer gives the size to retry with.
// input() gives the input's bytes anew after each allocation.
template <class Input, class Call>
Flow attempts(int64_t capacity, Input input, Call call) {
    for (int attempt = 0; attempt < 2; attempt++) {
        Cell* out = push_output(capacity);
        size_t n;
        const uint8_t* in = input(&n);  // allocates nothing
        memory::SeriesBuffer* b = memory::buffer_of(out->data2);
        int32_t size = int32_t(capacity);
        const int32_t r = call(b->data(), &size, in, int32_t(n));
        if (r == compress::DONE) {
            b->tail = uint32_t(size);
            return result(*trimmed(out, capacity));
        }
        if (r != compress::TOO_SMALL || attempt == 1) service_failed(r);
        capacity = size;
        stack::pop(1);
    }
    invalid_data();
}

}  // namespace

Flow compress(int, const int32_t* refinements) {
    Cell* data = arg(0);
    if (!data->is(TYPE_BINARY) && !string::any_string_q(data->type())) invalid_arg(data);
    const compress::MethodInfo& method = compress::method_info(compression_method(arg(1)));
    int32_t level = compress::NO_LEVEL;
    if (const Cell* given = refinement_arg(refinements, 0)) {
        if (!given->is(TYPE_INTEGER)) invalid_arg(given);
        level = given->as_int();
        if (level < 1 || level > method.max_level)
            support::fire_error(ErrorId::script_out_of_range, given);
    }
    if (!method.compress) not_done_raise();
    std::string owned;  // the UTF-8 of a string that is not plain ASCII
    size_t length;
    const uint8_t* bytes =
        data->is(TYPE_BINARY) ? binary_bytes(data, &length) : text_bytes(data, owned, &length);
    const bool in_place = bytes != reinterpret_cast<const uint8_t*>(owned.data());
    if (length > size_t(INT32_MAX)) support::fire_error(ErrorId::internal_no_memory);
    // Bytes in a series buffer are found again after every allocation: it may move.
    auto input = [&](size_t* n) {
        if (in_place) return binary_bytes(data, n);
        *n = owned.size();
        return reinterpret_cast<const uint8_t*>(owned.data());
    };
    const int64_t capacity = int64_t(length) + int64_t(length >> 11) + 32;
    return attempts(capacity, input, [&](uint8_t* out, int32_t* size, const uint8_t* in, int32_t n) {
        return method.compress(out, size, in, n, level);
    });
}

Flow decompress(int, const int32_t* refinements) {
    Cell* data = arg(0);
    if (!data->is(TYPE_BINARY)) invalid_arg(data);
    const compress::MethodInfo& method = compress::method_info(compression_method(arg(1)));
    int64_t capacity = 0;
    if (const Cell* given = refinement_arg(refinements, 0)) {
        if (!given->is(TYPE_INTEGER)) invalid_arg(given);
        if (method.size_given_q) capacity = given->as_int();
    }
    if (!method.decompress) not_done_raise();
    size_t length;
    binary_bytes(data, &length);
    bool measure = false;
    switch (method.measure) {
        case compress::MethodInfo::MEASURE_ALWAYS: measure = true; break;
        case compress::MethodInfo::MEASURE_INPUT_NOT_SHORTER: measure = int64_t(length) >= capacity; break;
        case compress::MethodInfo::MEASURE_NO_CAPACITY: measure = capacity < 1; break;
    }
    if (measure && method.measure == compress::MethodInfo::MEASURE_INPUT_NOT_SHORTER) {
        // One decoding pass into a guessed room stands in for the measuring
        // pass: when it is too small the service still reports the exact size
        // for the second attempt, and every answer stays the same.
        capacity = std::min<int64_t>(std::max<int64_t>(capacity, 4 * int64_t(length) + 64), 1 << 28);
        measure = false;
    }
    if (measure) {
        int32_t size = 0;
        const uint8_t* in = binary_bytes(data, &length);
        const int32_t r = method.decompress(nullptr, &size, in, int32_t(length));
        if (r != compress::DONE && r != compress::TOO_SMALL) service_failed(r);
        capacity = size;
    }
    auto input = [&](size_t* n) { return binary_bytes(data, n); };
    return attempts(capacity, input, method.decompress);
}

Flow apply(int, const int32_t* refinements) {
    const Cell target = *arg(0);
    Cell function;
    Cell name;
    interpreter::CallOptions options;
    if (word::any_word_type_q(target.type()) && !target.is(TYPE_REFINEMENT) &&
        !target.is(TYPE_ISSUE)) {
        function = *word::get_value(&target);
        name = make_cell(TYPE_WORD, target.data1, target.data2, target.data3);
    } else if (target.is(TYPE_PATH)) {
        memory::SeriesBuffer* b = memory::buffer_of(target.data2);
        const int32_t head = int32_t(target.data1) > 0 ? int32_t(target.data1) : 0;
        if (uint32_t(head) >= b->used() / sizeof(Cell)) invalid_arg(&target);
        const Cell first = b->head_cell()[head];
        if (!first.is(TYPE_WORD)) invalid_arg(&target);
        function = *word::get_value(&first);
        name = first;
        options.path = arg(0);
        options.path_index = uint32_t(head) + 1;
    } else {
        function = target;
        name = *words::get(words::applied);
    }
    const uint32_t type = function.type();
    if (type != TYPE_FUNCTION && type != TYPE_ACTION && type != TYPE_NATIVE && type != TYPE_OP &&
        type != TYPE_ROUTINE)
        invalid_arg(&target);
    if (!arg(1)->is(TYPE_BLOCK)) invalid_arg(arg(1));
    Cell* fn = stack::push(&function);  // keeps it alive while the arguments evaluate
    Cell* name_cell = stack::push(&name);
    options.name = name_cell;
    options.flags = used(refinements, 0) ? interpreter::CALL_APPLIED
                                          : interpreter::CALL_CODE_REFINEMENTS;
    if (used(refinements, 1)) options.flags |= interpreter::CALL_ONE_CELL;
    stack::set_top_frame_interpreted();
    uint32_t index = int32_t(arg(1)->data1) > 0 ? arg(1)->data1 : 0;
    if (Flow flow = interpreter::call_function_value(fn, arg(1), &index, false, options);
        flow != Flow::normal)
        return flow;
    stack::reset_keep_result();
    return Flow::normal;
}

}  // namespace zun::natives
