#include <pthread.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/console_out.hpp"
#include "startup/fatal_signals.hpp"
#include "startup/init.hpp"
#include "startup/script.hpp"
#include "startup/system_object.hpp"

namespace {

struct Run {
    int argc;
    char** argv;
    int status;
};

void* run(void* arg) {
    Run* r = static_cast<Run*>(arg);
    zun::fatal_signals::install_alternate_stack();
    zun::fatal_signals::run_test_fault();
    zun::startup::init_runtime();
    if (r->argc > 1 &&
        (std::strcmp(r->argv[1], "--version") == 0 || std::strcmp(r->argv[1], "-v") == 0)) {
        std::printf("Zun for Linux %s\n", zun::startup::VERSION);
        r->status = 0;
    } else {
        r->status = zun::startup::run_console(r->argc, r->argv);
    }
    return nullptr;
}

}  // namespace

// The interpreter runs on a thread with a large machine stack, so the value
// and frame stack limits, not the C++ stack, are what deep recursion reaches.
int main(int argc, char** argv) {
    zun::fatal_signals::install();
    std::atexit(zun::console_out::check_standard_output);
    zun::system_object::set_command_line(argc, argv);
    Run r{argc, argv, 0};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, size_t(256) << 20);
    pthread_t thread;
    if (pthread_create(&thread, &attr, run, &r) != 0) {
        run(&r);  // fall back to the main thread's stack
    } else {
        pthread_join(thread, nullptr);
    }
    pthread_attr_destroy(&attr);
    std::fflush(stdout);
    return r.status;
}
