// Custom window classes for new face types: records that make-view finds by
// the face's type, each with a window procedure and an event hook written in
// Zun, and the routines behind the `gui` object that registers them.
#pragma once
#include <cstdint>
#include <string>

#include "core/cell.hpp"
#include "platform/window.hpp"

namespace zun::gui {

struct CustomClass {
    uint32_t symbol = 0;      // the face type's canonical symbol
    std::string name, base;   // base: the name itself when none was given
    uint32_t style = 0, ex_style = 0, menu = 0;
    win::WNDPROC base_proc = nullptr;
    bool has_hook = false;
};

// The record for a face type word, nullptr when none.
const CustomClass* find_class(const Cell* type_word);
// Calls every record's hook with the message, in registration order.
void run_class_hooks(win::HWND hwnd, win::UINT msg, win::WPARAM wp, win::LPARAM lp);
// gui/superclass: registers name over base with the backend's window bytes;
// answers the base's procedure (nullptr when the base is unknown).
win::WNDPROC superclass(const std::string& name, const std::string& base, win::WNDPROC filter);
void unregister_classes();
// The routines register-class, superclass, find-class and
// unregister-classes, a new block pushed.
Cell* push_class_routines();

}  // namespace zun::gui
