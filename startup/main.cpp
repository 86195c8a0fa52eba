#include <pthread.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/console_out.hpp"
#include "startup/boot_texts.hpp"
#include "startup/console_terminal.hpp"
#include "startup/fatal_signals.hpp"
#include "startup/init.hpp"
#include "startup/script.hpp"
#include "startup/system_object.hpp"

namespace {

#include "boot_stream.inc"
#include "boot_stream_keys.inc"

struct Run {
    int argc;
    char** argv;
    int status;
};

constexpr const char* USAGE =
    "Usage: zun [options] [script [argument ...]]\n"
    "\n"
    "Without a script, zun starts the console: type an expression, get its value.\n"
    "With one, it runs the script and ends with its status (1 after an error).\n"
    "\n"
    "Options:\n"
    "  --catch        run the script, then enter the console (also after an error)\n"
    "  --             end of the options: the next argument is the script\n"
    "  -h, --help     print this help and exit\n"
    "  -v, --version  print the version and exit\n"
    "\n"
    "Other arguments starting with \"--\" before the script are ignored. The script\n"
    "gets the arguments after it in system/options/args (a block of strings) and\n"
    "system/script/args (one string), and runs in its own folder.\n";

bool option(const char* given, const char* short_name, const char* long_name) {
    return std::strcmp(given, short_name) == 0 || std::strcmp(given, long_name) == 0;
}

void* run(void* arg) {
    Run* r = static_cast<Run*>(arg);
    zun::fatal_signals::install_alternate_stack();
    zun::fatal_signals::run_test_fault();
    if (r->argc > 1 && option(r->argv[1], "-h", "--help")) {
        std::fputs(USAGE, stdout);
        r->status = 0;
        return nullptr;
    }
    zun::startup::init_runtime();
    if (r->argc > 1 && option(r->argv[1], "-v", "--version")) {
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
    zun::boot_texts::set_stream(boot_stream, boot_stream_size, boot_stream_keys, boot_stream_keys_size);
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
    zun::console_terminal::release_terminal();
    std::fflush(stdout);
    return r.status;
}
