#include "services/http.hpp"

#include <curl/curl.h>

#include <strings.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/series/binary.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/map.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/series/url.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/stack.hpp"
#include "services/files.hpp"
#include "services/prefault.hpp"

namespace zun::file_io {

namespace {

constexpr int MAX_REDIRECTS = 10;
constexpr long CONNECT_SECONDS = 60;  // the desktop client's defaults
constexpr long STALL_SECONDS = 30;
constexpr const char* USER_AGENT = "Mozilla/5.0 (X11; Linux x86_64)";

void init_once() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// ZUN_HTTP_TIMEOUT (whole seconds) replaces both time-outs.
std::pair<long, long> time_outs() {
    if (const char* text = std::getenv("ZUN_HTTP_TIMEOUT")) {
        char* end = nullptr;
        const long seconds = std::strtol(text, &end, 10);
        if (end != text && seconds > 0) return {seconds, seconds};
    }
    return {CONNECT_SECONDS, STALL_SECONDS};
}

bool has_control_q(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::string text_of(const Cell* value) {
    Cell copy = *value;
    return url::utf8_of(&copy);
}

// The formed text of any value.
std::string formed(const Cell* value) {
    stack::StackScope scope;
    Cell* held = stack::push(value);
    Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
    actions::form_direct(held, buffer, nullptr, INT_MAX);
    return text_of(buffer);
}

// The url's text percent-encoded as mold writes it, except that brackets
// (IPv6 literals) and semicolons stay.
std::string request_url(const Cell* url) {
    const std::string text = text_of(url);
    if (has_control_q(text)) support::fire_error(ErrorId::script_invalid_arg, url);
    std::string out;
    out.reserve(text.size() + 16);
    for (const char ch : text) {
        const uint8_t byte = uint8_t(ch);
        if (byte == '[' || byte == ']' || byte == ';' || url::keeps_byte_q(url::WIDE_MODE, byte)) {
            out += ch;
        } else {
            int count = 0;
            const char* escaped = url::escape_byte(url::WIDE_MODE, &byte, &count);
            out.append(escaped, size_t(count));
        }
    }
    return out;
}

std::string method_text(const Cell* method) {
    std::string name(symbol::name(method->data2));
    for (char& c : name)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return name;
}

bool is_any_word(uint32_t type) {
    return type == TYPE_WORD || type == TYPE_SET_WORD || type == TYPE_LIT_WORD ||
           type == TYPE_GET_WORD;
}

// "Name: value" lines of the request, checked before anything is sent.
std::vector<std::string> header_lines(const Cell* headers) {
    std::vector<std::string> lines;
    if (!headers) {
        lines.push_back("Content-Type: application/x-www-form-urlencoded");
        lines.push_back("Accept-Charset: UTF-8");
        lines.push_back(std::string("User-Agent: ") + USER_AGENT);
        return lines;
    }
    const int32_t head = block::head_index(headers), tail = block::length_from_start(headers);
    if ((tail - head) % 2 != 0) support::fire_error(ErrorId::script_invalid_arg, headers);
    for (int32_t i = head; i + 1 < tail; i += 2) {
        const Cell name = *block::cell_at(headers, i);
        const Cell value = *block::cell_at(headers, i + 1);
        const std::string key = is_any_word(name.type()) ? std::string(symbol::name(name.data2))
                                                         : formed(&name);
        const std::string text = value.is(TYPE_STRING) ? text_of(&value) : formed(&value);
        if (has_control_q(key)) support::fire_error(ErrorId::script_invalid_arg, &name);
        if (has_control_q(text)) support::fire_error(ErrorId::script_invalid_arg, &value);
        lines.push_back(key + ": " + text);
    }
    return lines;
}

bool names_header_q(const std::vector<std::string>& lines, std::string_view name) {
    for (const std::string& line : lines)
        if (line.size() > name.size() && line[name.size()] == ':' &&
            strncasecmp(line.data(), name.data(), name.size()) == 0)
            return true;
    return false;
}

std::string body_bytes(const Cell* body) {
    if (!body || body->is(TYPE_NONE)) return {};
    if (body->is(TYPE_BINARY)) {
        Cell copy = *body;
        const int32_t n = binary::length_from_head(&copy);
        if (n <= 0) return {};
        const uint8_t* bytes = memory::buffer_of(copy.data2)->head_ptr() + copy.data1;
        return std::string(reinterpret_cast<const char*>(bytes), size_t(n));
    }
    if (body->is(TYPE_BLOCK)) {
        stack::StackScope scope;
        Cell* held = stack::push(body);
        Cell* buffer = string::make_empty_at(stack::push_cell(), 64);
        actions::mold_direct(held, buffer, true, false, false, nullptr, INT_MAX, 0);
        return text_of(buffer);
    }
    return text_of(body);
}

// A binary answer is gathered straight into its binary!, a text one into
// bytes that are decoded once at the end.
struct Response {
    long status = 0;
    std::string headers;  // the header lines of the latest response
    std::vector<uint8_t> body;
    Cell* binary = nullptr;  // on the value stack
    int64_t size = 0;

    void restart() {
        status = 0;
        size = 0;
        headers.clear();
        body.clear();
        if (binary) binary::make_at(binary, 1 << 16);
    }
    void expect(int64_t length) {
        if (length <= 0 || length >= INT32_MAX) return;
        if (binary) {
            if (size != 0) return;
            binary::make_at(binary, uint32_t(length));
            services::prefault(memory::buffer_of(binary->data2)->head_ptr(), size_t(length));
        } else {
            body.reserve(size_t(length));
            services::prefault(body.data(), size_t(length));
        }
    }
};

size_t on_body(char* data, size_t size, size_t count, void* user) {
    auto* response = static_cast<Response*>(user);
    const size_t n = size * count;
    if (response->size + int64_t(n) >= INT32_MAX) return 0;  // no binary! holds more
    response->size += int64_t(n);
    if (response->binary) {
        binary::append_bytes(response->binary, reinterpret_cast<uint8_t*>(data), uint32_t(n));
        return n;
    }
    // the body grows by doubling, from the announced length when there is one
    if (response->body.capacity() < response->body.size() + n)
        response->body.reserve(std::max(response->body.size() + n, response->body.capacity() * 2));
    response->body.insert(response->body.end(), reinterpret_cast<uint8_t*>(data),
                          reinterpret_cast<uint8_t*>(data) + n);
    return n;
}

size_t on_header(char* data, size_t size, size_t count, void* user) {
    auto* response = static_cast<Response*>(user);
    const size_t n = size * count;
    const std::string_view line(data, n);
    if (line.substr(0, 5) == "HTTP/") {
        response->headers.clear();  // a new response (after a redirect or a 100)
    } else if (line.size() > 2 && line.find(':') != std::string_view::npos) {
        response->headers.append(line);
        const std::string_view lower = line.substr(0, 16);
        if (lower.size() >= 15 && strncasecmp(lower.data(), "content-length:", 15) == 0)
            response->expect(std::atoll(std::string(line.substr(15)).c_str()));
    }
    return n;
}

// Ctrl-C aborts the transfer; the evaluator then halts.
int on_progress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return interpreter::g_interrupt ? 1 : 0;
}

const char* reason_of(CURLcode code) {
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT: return "timeout";
    case CURLE_COULDNT_CONNECT: return "connection refused";
    case CURLE_URL_MALFORMAT: return "malformed URL";
    case CURLE_UNSUPPORTED_PROTOCOL: return "unsupported protocol";
    case CURLE_COULDNT_RESOLVE_HOST: return "host not found";
    case CURLE_COULDNT_RESOLVE_PROXY: return "proxy not found";
    case CURLE_PEER_FAILED_VERIFICATION: return "TLS certificate not trusted";
    case CURLE_SSL_CONNECT_ERROR: return "TLS handshake failed";
    case CURLE_ABORTED_BY_CALLBACK: return "interrupted";
    case CURLE_TOO_MANY_REDIRECTS: return "too many redirects";
    case CURLE_GOT_NOTHING: return "empty reply";
    case CURLE_SEND_ERROR: return "send failed";
    case CURLE_RECV_ERROR: return "receive failed";
    default: return curl_easy_strerror(code);
    }
}

struct Easy {
    CURL* handle = curl_easy_init();
    curl_slist* headers = nullptr;
    ~Easy() {
        curl_slist_free_all(headers);
        if (handle) curl_easy_cleanup(handle);
    }
};

bool scheme_is(const char* url, const char* scheme) {
    return strncasecmp(url, scheme, std::strlen(scheme)) == 0;
}

// One exchange; redirects are followed by the caller.
CURLcode perform(Easy& easy, const std::string& url, const std::string& method,
                 const std::string& body, bool send_body,
                 const std::vector<std::string>& lines, Response& response) {
    CURL* h = easy.handle;
    curl_easy_reset(h);
    curl_slist_free_all(easy.headers);
    easy.headers = nullptr;
    for (const std::string& line : lines) easy.headers = curl_slist_append(easy.headers, line.c_str());
    // only what HTTP itself needs besides the caller's headers
    easy.headers = curl_slist_append(easy.headers, "Accept:");
    easy.headers = curl_slist_append(easy.headers, "Expect:");
    if (send_body && !names_header_q(lines, "Content-Type"))
        easy.headers = curl_slist_append(easy.headers, "Content-Type:");
    const auto [connect, stall] = time_outs();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, easy.headers);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, connect);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, stall);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, on_body);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &response);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, on_header);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &response);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, on_progress);
    if (method == "HEAD") {
        curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    } else if (send_body) {
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.data());
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size()));
        if (method != "POST") curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, method.c_str());
    } else if (method != "GET") {
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, method.c_str());
    }
    response.restart();
    const CURLcode code = curl_easy_perform(h);
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.status);
    return code;
}

Cell* push_body(const Response& response, const HttpRequest& request) {
    if (response.binary) return stack::push(response.binary);
    const uint8_t* bytes = response.body.data();
    const size_t n = response.body.size();
    if (request.lines) return split_lines(bytes, n);
    return load_text(bytes, n);
}

}  // namespace

Cell* parse_response_headers(const std::string& text) {
    std::vector<std::pair<std::string, std::vector<std::string>>> fields;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) continue;
        std::string name(line.substr(0, colon));
        std::string_view value = line.substr(colon + 1);
        if (!value.empty() && value.front() == ' ') value.remove_prefix(1);
        auto found = fields.begin();
        while (found != fields.end() && found->first != name) ++found;
        if (found == fields.end()) fields.push_back({std::move(name), {std::string(value)}});
        else found->second.emplace_back(value);
    }
    Cell* pairs = block::push_new(int32_t(fields.size() * 2));
    for (const auto& [name, values] : fields) {
        stack::StackScope scope;
        block::append_cell(pairs, word::make_global(name.c_str()));
        if (values.size() == 1) {
            block::append_cell(pairs, string::load_c_text(values[0].data(),
                                                          uint32_t(values[0].size()), 0));
        } else {
            Cell* all = block::push_new(int32_t(values.size()));
            for (const std::string& v : values)
                string::load_c_text_in(v.data(), uint32_t(v.size()), all, 0);
            block::append_cell(pairs, all);
        }
    }
    Cell* result = stack::push_cell();
    *result = make_cell(TYPE_NONE);
    map::make_at(result, nullptr, 20);
    map::extend(result, pairs, true);
    *pairs = *result;
    stack::pop(1);
    return pairs;
}

Cell* http_request(const HttpRequest& request, std::string* reason) {
    init_once();
    std::string url = request_url(request.url);
    std::vector<std::string> lines = header_lines(request.headers);
    std::string method = method_text(request.method);
    const std::string body = body_bytes(request.body);
    bool send_body = request.body && !request.body->is(TYPE_NONE) && method != "GET" &&
                     method != "HEAD";

    Easy easy;
    if (!easy.handle) {
        *reason = "no HTTP client";
        return stack::push(&shared_none_cell);
    }
    Response response;
    if (request.binary) response.binary = stack::push(&shared_none_cell);
    for (int hop = 0;; hop++) {
        const CURLcode code = perform(easy, url, method, body, send_body, lines, response);
        if (code == CURLE_WRITE_ERROR && response.size + 16 >= INT32_MAX)
            support::fire_error(ErrorId::internal_no_memory);
        if (code != CURLE_OK) {
            *reason = reason_of(code);
            return stack::push(&shared_none_cell);
        }
        const long status = response.status;
        if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308)
            break;
        char* target = nullptr;
        curl_easy_getinfo(easy.handle, CURLINFO_REDIRECT_URL, &target);
        if (!target) break;  // a redirect without a place to go is the answer
        if (hop == MAX_REDIRECTS) {
            *reason = "too many redirects";
            return stack::push(&shared_none_cell);
        }
        const bool secure = scheme_is(url.c_str(), "https:");
        if (!scheme_is(target, "http:") && !scheme_is(target, "https:")) {
            *reason = "redirect to an unsupported protocol";
            return stack::push(&shared_none_cell);
        }
        if (secure && scheme_is(target, "http:")) {
            *reason = "redirect from https to http refused";
            return stack::push(&shared_none_cell);
        }
        url = target;
        // 301, 302 and 303 turn a POST into a GET; 307 and 308 keep both
        if ((status == 303 && method != "HEAD") || (status <= 302 && method == "POST")) {
            method = "GET";
            send_body = false;
        }
    }
    if (!request.info) return push_body(response, request);
    Cell* result = block::push_new(3);
    {
        stack::StackScope scope;
        const Cell status = integer_cell(int32_t(response.status));
        block::append_cell(result, &status);
        block::append_cell(result, parse_response_headers(response.headers));
        block::append_cell(result, push_body(response, request));
    }
    return result;
}

}  // namespace zun::file_io
