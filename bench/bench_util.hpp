// What the C++ codec benches share: reading files, the best of several timed
// runs, MB/s, and the corpus they run on.
#pragma once
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

namespace bench {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

inline Bytes read_file(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

// Best of runs, in seconds.
inline double best(int runs, const std::function<void()>& f) {
    double t = 1e9;
    for (int i = 0; i < runs; i++) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        t = std::min(t, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return t;
}

inline double mbs(size_t bytes, double seconds) { return double(bytes) / 1e6 / seconds; }

// The Canterbury files but bible.txt, concatenated in name order.
inline Bytes canterbury(const fs::path& dir) {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename() != "bible.txt") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    Bytes all;
    for (const auto& f : files) {
        const Bytes b = read_file(f);
        all.insert(all.end(), b.begin(), b.end());
    }
    return all;
}

// Runs a bench over the Canterbury files concatenated, then over bible.txt;
// the corpus folder is the first argument, else the shared one.
inline void on_corpus(int argc, char** argv, void (*run)(const char* title, const Bytes& data)) {
    const fs::path dir = argc > 1 ? fs::path(argv[1])
                                  : fs::path(__FILE__).parent_path() / "../../shared/corpora/canterbury";
    run("Canterbury, 11 files concatenated", canterbury(dir));
    run("bible.txt", read_file(dir / "bible.txt"));
}

}  // namespace bench
