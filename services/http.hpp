// HTTP requests on url! values: one synchronous request through libcurl on
// the interpreter's thread, redirects followed as desktop HTTP clients do.
#pragma once
#include <string>

#include "core/cell.hpp"

namespace zun::file_io {

struct HttpRequest {
    const Cell* method;   // word!: get, head, post, or any other (its spelling upper-cased)
    const Cell* url;      // url!
    const Cell* headers;  // block! of name/value pairs, or nullptr for the defaults
    const Cell* body;     // binary!, any string, block!, or nullptr
    bool binary = false;  // answer the body as a binary!
    bool lines = false;   // answer a block of lines
    bool info = false;    // answer [status headers body]
};

// Pushes the answer, or none! when the request failed; *reason then says why
// ("timeout", "connection refused", "malformed URL" ...). A url, a header
// name or a header value holding CR, LF or NUL raises script invalid-arg
// before anything is sent; so does a header block of an odd length.
Cell* http_request(const HttpRequest& request, std::string* reason);

// The map of a response's header lines ("Name: value" ending in CR LF); a
// name met again gives a block of its values in order. Pushed.
Cell* parse_response_headers(const std::string& text);

}  // namespace zun::file_io
