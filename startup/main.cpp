#include <cstdio>
#include <cstring>

#include "startup/init.hpp"

int main(int argc, char** argv) {
    zun::startup::init_runtime();
    if (argc > 1 && (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "-v") == 0)) {
        std::printf("Zun for Linux %s\n", zun::startup::VERSION);
        return 0;
    }
    std::printf("Zun for Linux %s: the runtime core starts (memory, datatypes, stacks); "
                "the evaluator and console are not built yet.\n",
                zun::startup::VERSION);
    return 0;
}
