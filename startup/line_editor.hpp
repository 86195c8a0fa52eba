// Line editing for the terminal console when standard input and output are
// a terminal: cursor keys, Home/End, backspace and delete, history with
// Up/Down, and Tab completion through the library's completion module.
// Piped input does not come here: it keeps the plain line reader.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zun::line_editor {

// What Tab gives: the line rewritten with the caret's new place (in
// characters), and the candidates to list when there are several.
struct Completion {
    std::string line;
    size_t caret = 0;
    std::vector<std::string> candidates;
};

struct Hooks {
    std::vector<std::string> history;  // newest first
    std::function<std::optional<Completion>(const std::string& line, size_t caret)> complete;
    std::function<bool()> cancelled;   // a Ctrl-C came in
};

enum class Outcome { line, cancelled, ended };

// Standard input and output are both a terminal that can take cursor moves.
bool usable();

// Edits one line after the prompt, which is already on the screen. The line
// comes back without its line end; Ctrl-D on an empty line ends the input.
Outcome read_line(const std::string& prompt, std::string& line, const Hooks& hooks);

// The console's hooks: the history of system/console/history and completion
// by zun-complete-ctx/complete-input.
Hooks console_hooks(std::function<bool()> cancelled);

}  // namespace zun::line_editor
