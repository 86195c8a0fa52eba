// python3 as the judge of a test: runs a program or a command line and
// answers its output lines.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace zun::test_support {

// The output lines of a shell command (line ends dropped); empty when it
// cannot run or fails.
inline std::vector<std::string> command_lines(const std::string& command) {
    std::vector<std::string> lines;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return lines;
    std::string line;
    for (int c; (c = std::fgetc(p)) != EOF;) {
        if (c != '\n') {
            line += char(c);
            continue;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        line.clear();
    }
    if (!line.empty()) lines.push_back(line);
    if (pclose(p) != 0) lines.clear();
    return lines;
}

// The output lines of a python3 program, run from a file of its own (ctest
// runs tests side by side: one file per process).
inline std::vector<std::string> python_lines(const std::string& program) {
    const std::string path =
        ::testing::TempDir() + "oracle_" + std::to_string(getpid()) + ".py";
    std::ofstream(path) << program;
    std::vector<std::string> lines = command_lines("python3 " + path);
    EXPECT_FALSE(lines.empty()) << "python3 failed";
    std::remove(path.c_str());
    return lines;
}

}  // namespace zun::test_support
