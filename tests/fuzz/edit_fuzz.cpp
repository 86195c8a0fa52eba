// libFuzzer target: the EDIT control on the in-memory display, driven by the
// bytes as edit_ops.hpp reads them; a crash, a sanitizer report or a control
// that no longer agrees with itself is a fault.
#include <cstdio>
#include <cstdlib>

#include "platform/display_memory.hpp"
#include "tests/fuzz/edit_ops.hpp"

namespace {

const edit_ops::Controls& controls() {
    static edit_ops::Controls c = [] {
        zun::win::open(std::make_unique<zun::win::MemoryDisplay>());
        std::atexit([] { zun::win::close(); });  // windows let go before the leak check
        zun::win::register_system_controls();
        return edit_ops::make_controls();
    }();
    return c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zun::win;
    const edit_ops::Controls& c = controls();
    const RECT places[] = {{5, 5, 155, 29}, {5, 40, 125, 130}, {5, 140, 205, 230}};
    const HWND each[] = {c.field, c.wrapped, c.unwrapped};
    for (int k = 0; k < 3; ++k) {
        MoveWindow(each[k], places[k].left, places[k].top, places[k].width(), places[k].height(), false);
        SendMessage(each[k], EM_SETLIMITTEXT, EDIT_DEFAULT_LIMIT, 0);
        SendMessage(each[k], EM_SETPASSWORDCHAR, 0, 0);
        SetWindowText(each[k], "");
    }
    std::string fault = edit_ops::run(c, data, size);
    if (!fault.empty()) {
        std::fprintf(stderr, "EDIT fault: %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
