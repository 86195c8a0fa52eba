// The system clipboard behind read-clipboard and write-clipboard. The back
// end follows the window layer's display: the X11 CLIPBOARD selection
// (clipboard_x11.cpp), the in-memory display's store, or none (no display:
// both routines answer false). Values become targets and targets values by
// the same code for every back end.
#pragma once
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/cell.hpp"

namespace zun::clipboard {

// A target's data, immutable once made and shared: text goes out as four
// targets, most of them the same bytes, and a 10 MB copy is not free.
class Bytes {
public:
    Bytes(std::string bytes = {}) : m_bytes(std::make_shared<const std::string>(std::move(bytes))) {}
    Bytes(const char* bytes) : Bytes(std::string(bytes)) {}
    const std::string& str() const { return *m_bytes; }
    const std::shared_ptr<const std::string>& shared() const { return m_bytes; }

private:
    std::shared_ptr<const std::string> m_bytes;
};
inline std::ostream& operator<<(std::ostream& out, const Bytes& b) { return out << b.str(); }

struct Target {
    std::string name;
    Bytes bytes;
};
using Offer = std::vector<Target>;

class Backend {
public:
    virtual ~Backend() = default;
    // Takes the clipboard with these targets (an empty offer: taken with no
    // data). False when it could not be taken.
    virtual bool own(Offer offer) = 0;
    // refused: no owner, or the owner does not give that target.
    enum class Got { data, refused, failed };
    virtual Got targets(std::vector<std::string>* out) = 0;
    virtual Got fetch(const std::string& target, std::string* out) = 0;
};

// The targets a value is written as; script invalid-arg for any value but
// string!, a block of file!, image! and none!.
Offer offer_for(const Cell* value);
// Reads what the back end offers: pushes a string!, a block of file!, an
// image!, none (nothing known) or false (a transfer failed).
Cell* push_read(Backend& from);

// A new block of file! values, each path through to-zun-file.
Cell* push_files(const std::vector<std::string>& paths);

// The routines: the back end of the display (the layer opened on first use).
Cell* push_read_clipboard();
bool write_clipboard(const Cell* value);
Backend* current_backend();  // null without a display

// The in-memory display's clipboard as another program sees it.
namespace memory {
// Another program takes the clipboard with these targets; with
// refuse_targets it answers no TARGETS request.
void put(Offer offer, bool refuse_targets = false);
void clear();  // no owner at all
bool owned();
std::vector<std::string> targets();  // as TARGETS lists them; empty when no owner
std::optional<std::string> get(std::string_view target);
}  // namespace memory

// Text alone, for the EDIT control's clipboard keys: false without a
// display, without text, or when the transfer failed.
bool read_text(std::string* out);
bool write_text(std::string_view utf8);
// Makes these EDIT's clipboard (the window layer's controls cannot reach this
// service themselves); the GUI start-up calls it once.
void install_edit_clipboard();

// Sleeps for ms while serving the X11 clipboard's requestors; false (at
// once) when there is no X11 clipboard.
bool serve_while_waiting(uint32_t ms);

// The X11 back end over the window layer's connection (clipboard_x11.cpp);
// null when the display is not X11.
Backend* x11_backend();

}  // namespace zun::clipboard
