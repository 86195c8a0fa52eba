// The clipboard as the X11 CLIPBOARD selection (ICCCM), on the window layer's
// connection. An unmapped InputOnly window owns the selection and asks for it.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/display.hpp"
#include "platform/window.hpp"
#include "services/clipboard.hpp"

namespace zun::win {
// Hooks of the X11 display (display_x11.cpp).
extern bool (*g_x11_event_hook)(XEvent* event);
extern void (*g_x11_closing_hook)(::Display* connection);
::Display* x11_connection(Display* display);
}  // namespace zun::win

namespace zun::clipboard {

namespace {

constexpr size_t CHUNK = 256 * 1024;
constexpr uint64_t REPLY_MS = 2000, SILENT_MS = 5000, SAVE_MS = 1000;

uint64_t now_ms() {
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

enum AtomIndex {
    CLIPBOARD, TARGETS, TIMESTAMP, MULTIPLE, INCR, ATOM_PAIR, UTF8_STRING, TEXT, MANAGER, SAVE_TARGETS,
    READ_PROPERTY, TIME_PROPERTY, ATOM_COUNT
};
const char* const k_atom_names[ATOM_COUNT] = {
    "CLIPBOARD", "TARGETS", "TIMESTAMP", "MULTIPLE", "INCR", "ATOM_PAIR", "UTF8_STRING", "TEXT",
    "CLIPBOARD_MANAGER", "SAVE_TARGETS", "ZUN_CLIPBOARD", "ZUN_TIMESTAMP"};

struct Property {
    Atom type = None;
    int format = 0;
    std::string bytes;  // format 32: longs, as Xlib hands them out
};

class X11Clipboard final : public Backend {
public:
    explicit X11Clipboard(::Display* d) : m_d(d) {
        XInternAtoms(d, const_cast<char**>(k_atom_names), ATOM_COUNT, False, m_atoms);
        XSetWindowAttributes a{};
        a.event_mask = PropertyChangeMask;
        m_window = XCreateWindow(d, DefaultRootWindow(d), -10, -10, 1, 1, 0, 0, InputOnly, CopyFromParent,
                                 CWEventMask, &a);
        long most = XExtendedMaxRequestSize(d) ? XExtendedMaxRequestSize(d) : XMaxRequestSize(d);
        m_chunk = std::min<size_t>(CHUNK, size_t(most) * 4 - 1024);
    }
    ~X11Clipboard() override {
        for (const Transfer& t : m_transfers) stop_watching(t.requestor);
        XDestroyWindow(m_d, m_window);
        XFlush(m_d);
    }
    ::Display* connection() const { return m_d; }

    bool own(Offer offer) override {
        Time time = server_time();
        if (time == CurrentTime) return false;
        XSetSelectionOwner(m_d, m_atoms[CLIPBOARD], m_window, time);
        if (XGetSelectionOwner(m_d, m_atoms[CLIPBOARD]) != m_window) return false;
        m_data.clear();
        for (Target& t : offer)
            m_data.push_back({XInternAtom(m_d, t.name.c_str(), False), t.bytes.shared()});
        m_owned = true;
        m_time = time;
        return true;
    }

    Got targets(std::vector<std::string>* out) override {
        if (XGetSelectionOwner(m_d, m_atoms[CLIPBOARD]) == None) return Got::refused;
        Property p;
        Got got = transfer(m_atoms[TARGETS], &p);
        if (got != Got::data) return got;
        if (p.format != 32) return Got::refused;
        std::vector<Atom> atoms(p.bytes.size() / sizeof(long));
        std::memcpy(atoms.data(), p.bytes.data(), atoms.size() * sizeof(long));
        std::erase(atoms, Atom(None));
        std::vector<char*> names(atoms.size());
        if (!atoms.empty() && !XGetAtomNames(m_d, atoms.data(), int(atoms.size()), names.data())) return Got::failed;
        for (char* name : names) {
            out->push_back(name ? name : "");
            if (name) XFree(name);
        }
        return Got::data;
    }

    Got fetch(const std::string& target, std::string* out) override {
        Property p;
        Got got = transfer(XInternAtom(m_d, target.c_str(), False), &p);
        if (got == Got::data) *out = std::move(p.bytes);
        return got;
    }

    // A selection event, or one about a requestor we serve: handled here.
    bool handle(XEvent& e) {
        drop_silent();
        switch (e.type) {
            case SelectionRequest:
                if (e.xselectionrequest.owner != m_window) return false;
                answer(e.xselectionrequest);
                return true;
            case SelectionClear:
                if (e.xselectionclear.window != m_window) return false;
                if (e.xselectionclear.selection == m_atoms[CLIPBOARD] && e.xselectionclear.time >= m_time) {
                    m_owned = false;
                    m_data.clear();
                }
                return true;
            case PropertyNotify:
                if (e.xproperty.state == PropertyDelete) continue_transfer(e.xproperty.window, e.xproperty.atom);
                return e.xany.window == m_window || watched(e.xany.window);
            case DestroyNotify: {
                Window gone = e.xdestroywindow.window;
                if (!watched(gone)) return false;
                std::erase_if(m_transfers, [&](const Transfer& t) { return t.requestor == gone; });
                return true;
            }
            default:
                return e.xany.window == m_window;  // late replies to reads that gave up
        }
    }

    void serve(uint64_t ms) {
        XEvent e;
        wait_for([](const XEvent&) { return false; }, &e, ms);
    }

    // At exit: a clipboard manager keeps what we own (serving it for at most 1 s).
    void save_to_manager() {
        if (!m_owned || m_data.empty() || XGetSelectionOwner(m_d, m_atoms[MANAGER]) == None) return;
        XConvertSelection(m_d, m_atoms[MANAGER], m_atoms[SAVE_TARGETS], None, m_window, m_time);
        XEvent e;
        wait_for(
            [&](const XEvent& x) {
                return x.type == SelectionNotify && x.xselection.selection == m_atoms[MANAGER];
            },
            &e, SAVE_MS);
    }

private:
    struct Item {
        Atom target;
        std::shared_ptr<const std::string> bytes;
    };
    struct Transfer {
        Window requestor;
        Atom property, type;
        std::shared_ptr<const std::string> bytes;
        size_t sent = 0;
        uint64_t last = 0;
    };

    bool watched(Window w) const {
        return std::any_of(m_transfers.begin(), m_transfers.end(), [&](const Transfer& t) { return t.requestor == w; });
    }
    void stop_watching(Window requestor) {
        if (requestor != m_window && !watched(requestor)) XSelectInput(m_d, requestor, NoEventMask);
    }

    // The events of our window and of the requestors we serve; the others
    // stay queued for the layer, in order.
    static Bool ours(::Display*, XEvent* e, XPointer self) {
        auto* c = reinterpret_cast<X11Clipboard*>(self);
        return e->xany.window == c->m_window || (e->type == SelectionRequest && e->xselectionrequest.owner == c->m_window) ||
               ((e->type == PropertyNotify || e->type == DestroyNotify) && c->watched(e->xany.window));
    }

    // Serves selection traffic until an event matches or the time passes.
    template <typename Match>
    bool wait_for(Match match, XEvent* out, uint64_t timeout) {
        const uint64_t deadline = now_ms() + timeout;
        for (;;) {
            while (XCheckIfEvent(m_d, out, ours, reinterpret_cast<XPointer>(this))) {
                if (match(*out)) return true;
                handle(*out);
            }
            const uint64_t now = now_ms();
            if (now >= deadline) return false;
            XFlush(m_d);
            pollfd fd{ConnectionNumber(m_d), POLLIN, 0};
            poll(&fd, 1, int(deadline - now));
        }
    }

    // A timestamp from the server: the time of a zero-length append.
    Time server_time() {
        XChangeProperty(m_d, m_window, m_atoms[TIME_PROPERTY], XA_STRING, 8, PropModeAppend, nullptr, 0);
        XEvent e;
        bool got = wait_for(
            [&](const XEvent& x) {
                return x.type == PropertyNotify && x.xproperty.window == m_window &&
                       x.xproperty.atom == m_atoms[TIME_PROPERTY];
            },
            &e, REPLY_MS);
        return got ? e.xproperty.time : CurrentTime;
    }

    // The property's bytes appended to p's, then deleted.
    bool read_property(Atom property, Property* p) {
        unsigned long n = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(m_d, m_window, property, 0, 0x1FFFFFFF, True, AnyPropertyType, &p->type, &p->format,
                               &n, &after, &data) != Success)
            return false;
        const size_t unit = p->format == 32 ? sizeof(long) : size_t(p->format / 8);
        if (data) p->bytes.append(reinterpret_cast<char*>(data), n * unit);
        if (data) XFree(data);
        return true;
    }

    // Asks the owner for a target: the reply, then INCR chunks, each within
    // the reply time.
    Got transfer(Atom target, Property* p) {
        const Atom property = m_atoms[READ_PROPERTY];
        XDeleteProperty(m_d, m_window, property);
        XConvertSelection(m_d, m_atoms[CLIPBOARD], target, property, m_window, CurrentTime);
        XEvent e;
        if (!wait_for(
                [&](const XEvent& x) {
                    return x.type == SelectionNotify && x.xselection.requestor == m_window &&
                           x.xselection.selection == m_atoms[CLIPBOARD] && x.xselection.target == target;
                },
                &e, REPLY_MS))
            return Got::failed;
        if (e.xselection.property == None) return Got::refused;
        if (!read_property(e.xselection.property, p)) return Got::failed;
        if (p->type != m_atoms[INCR]) return Got::data;
        // the INCR property holds a lower bound of the size
        long size = 0;
        if (p->format == 32 && p->bytes.size() >= sizeof(long)) std::memcpy(&size, p->bytes.data(), sizeof(long));
        p->bytes.clear();
        p->bytes.reserve(size_t(std::clamp<long>(size, 0, long(64) << 20)));  // a claim, not a promise
        for (;;) {
            if (!wait_for(
                    [&](const XEvent& x) {
                        return x.type == PropertyNotify && x.xproperty.window == m_window &&
                               x.xproperty.atom == property && x.xproperty.state == PropertyNewValue;
                    },
                    &e, REPLY_MS))
                return Got::failed;
            const size_t before = p->bytes.size();
            if (!read_property(property, p)) return Got::failed;
            if (p->bytes.size() == before) break;
        }
        return Got::data;
    }

    void answer(const XSelectionRequestEvent& r) {
        XSelectionEvent n{};
        n.type = SelectionNotify;
        n.display = m_d;
        n.requestor = r.requestor;
        n.selection = r.selection;
        n.target = r.target;
        n.time = r.time;
        const Atom property = r.property != None ? r.property : r.target;  // obsolete requestors
        const bool current = r.time == CurrentTime || r.time >= m_time;
        if (m_owned && r.selection == m_atoms[CLIPBOARD] && current && convert(r.requestor, r.target, property, true))
            n.property = property;
        XSendEvent(m_d, r.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&n));
        XFlush(m_d);
    }

    void put32(Window w, Atom property, Atom type, const std::vector<long>& values) {
        XChangeProperty(m_d, w, property, type, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(values.data()), int(values.size()));
    }

    bool convert(Window requestor, Atom target, Atom property, bool multiple_allowed) {
        if (target == m_atoms[TARGETS]) {
            std::vector<long> list{long(m_atoms[TARGETS]), long(m_atoms[TIMESTAMP]), long(m_atoms[MULTIPLE])};
            for (const Item& i : m_data) list.push_back(long(i.target));
            put32(requestor, property, XA_ATOM, list);
            return true;
        }
        if (target == m_atoms[TIMESTAMP]) {
            put32(requestor, property, XA_INTEGER, {long(m_time)});
            return true;
        }
        if (target == m_atoms[MULTIPLE]) return multiple_allowed && convert_multiple(requestor, property);
        auto item = std::find_if(m_data.begin(), m_data.end(), [&](const Item& i) { return i.target == target; });
        if (item == m_data.end()) return false;
        const Atom type = target == m_atoms[TEXT] ? m_atoms[UTF8_STRING] : target;
        const std::string& bytes = *item->bytes;
        if (bytes.size() <= m_chunk) {
            XChangeProperty(m_d, requestor, property, type, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(bytes.data()), int(bytes.size()));
            return true;
        }
        if (requestor != m_window) XSelectInput(m_d, requestor, PropertyChangeMask | StructureNotifyMask);
        put32(requestor, property, m_atoms[INCR], {long(bytes.size())});
        m_transfers.push_back({requestor, property, type, item->bytes, 0, now_ms()});
        return true;
    }

    // The requestor's ATOM_PAIR list: a refused pair gets None as its property.
    bool convert_multiple(Window requestor, Atom property) {
        unsigned long n = 0, after = 0;
        unsigned char* data = nullptr;
        Atom type;
        int format;
        if (XGetWindowProperty(m_d, requestor, property, 0, 0x1FFFFFFF, False, AnyPropertyType, &type, &format, &n,
                               &after, &data) != Success || format != 32) {
            if (data) XFree(data);
            return false;
        }
        std::vector<long> pairs(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + (n & ~1ul));
        XFree(data);
        for (size_t i = 0; i + 1 < pairs.size(); i += 2)
            if (!convert(requestor, Atom(pairs[i]), Atom(pairs[i + 1]), false)) pairs[i + 1] = None;
        put32(requestor, property, m_atoms[ATOM_PAIR], pairs);
        return true;
    }

    // The requestor took the last chunk: the next one, a zero-length one at the end.
    void continue_transfer(Window requestor, Atom property) {
        auto t = std::find_if(m_transfers.begin(), m_transfers.end(),
                              [&](const Transfer& x) { return x.requestor == requestor && x.property == property; });
        if (t == m_transfers.end()) return;
        const size_t n = std::min(m_chunk, t->bytes->size() - t->sent);
        XChangeProperty(m_d, requestor, property, t->type, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(t->bytes->data() + t->sent), int(n));
        XFlush(m_d);
        t->sent += n;
        t->last = now_ms();
        if (n == 0) {
            m_transfers.erase(t);
            stop_watching(requestor);
        }
    }

    void drop_silent() {
        const uint64_t now = now_ms();
        for (size_t i = m_transfers.size(); i-- > 0;) {
            if (now - m_transfers[i].last < SILENT_MS) continue;
            Window requestor = m_transfers[i].requestor;
            m_transfers.erase(m_transfers.begin() + long(i));
            stop_watching(requestor);
        }
    }

    ::Display* m_d;
    Window m_window;
    Atom m_atoms[ATOM_COUNT];
    size_t m_chunk = CHUNK;
    bool m_owned = false;
    Time m_time = CurrentTime;
    std::vector<Item> m_data;
    std::vector<Transfer> m_transfers;
};

// Kept until the connection closes (never by a static destructor).
X11Clipboard* g_x11 = nullptr;

bool on_event(XEvent* e) { return g_x11 && g_x11->handle(*e); }

void on_closing(::Display* d) {
    if (!g_x11 || g_x11->connection() != d) return;
    g_x11->save_to_manager();
    delete g_x11;
    g_x11 = nullptr;
}

void at_exit() {
    if (g_x11) g_x11->save_to_manager();
}

}  // namespace

bool serve_while_waiting(uint32_t ms) {
    if (!g_x11) return false;
    g_x11->serve(ms);
    return true;
}

Backend* x11_backend() {
    ::Display* d = win::x11_connection(win::display());
    if (!d) return nullptr;
    if (!g_x11 || g_x11->connection() != d) {
        static bool registered = false;
        if (!registered) std::atexit(at_exit);
        registered = true;
        delete g_x11;  // its connection is gone
        g_x11 = new X11Clipboard(d);
        win::g_x11_event_hook = on_event;
        win::g_x11_closing_hook = on_closing;
    }
    return g_x11;
}

}  // namespace zun::clipboard
