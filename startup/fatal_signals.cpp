#include "startup/fatal_signals.hpp"

#include <pthread.h>
#include <sys/resource.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "core/runtime.hpp"

namespace zun::fatal_signals {

namespace {

constexpr int ACCESS_VIOLATION = 1;
constexpr int STACK_OVERFLOW = 19;
constexpr int FPU_ERROR = 33;
constexpr int BUS_ERROR = 34;
constexpr int ILLEGAL_INSTRUCTION = 17;
constexpr size_t ALTERNATE_STACK = 64 * 1024;

struct Mapping {
    int signal;
    int code;
    int number;
};

// The fault kinds with a runtime error of their own; any other code of the
// signal gets the signal's general number.
constexpr Mapping k_mappings[] = {
    {SIGFPE, FPE_INTDIV, 13},  {SIGFPE, FPE_INTOVF, 14},  {SIGFPE, FPE_FLTDIV, 7},
    {SIGFPE, FPE_FLTOVF, 10},  {SIGFPE, FPE_FLTUND, 12},  {SIGFPE, FPE_FLTRES, 8},
    {SIGFPE, FPE_FLTINV, 9},   {SIGFPE, FPE_FLTSUB, 5},   {SIGILL, ILL_PRVOPC, 15},
    {SIGILL, ILL_ILLOPN, 23},  {SIGILL, ILL_ILLADR, 24},  {SIGILL, ILL_ILLTRP, 25},
    {SIGILL, ILL_COPROC, 26},  {SIGILL, ILL_PRVREG, 31},  {SIGBUS, BUS_ADRALN, 2},
    {SIGBUS, BUS_ADRERR, 27},  {SIGBUS, BUS_OBJERR, 28},
#ifdef BUS_MCEERR_AR
    {SIGBUS, BUS_MCEERR_AR, 29}, {SIGBUS, BUS_MCEERR_AO, 30},
#endif
};

uintptr_t code_address(const siginfo_t* info, void* context) {
#if defined(__x86_64__)
    if (context) return uintptr_t(static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    if (context) return uintptr_t(static_cast<ucontext_t*>(context)->uc_mcontext.pc);
#else
    (void)context;
#endif
    return uintptr_t(info->si_addr);
}

// The bounds of the thread's machine stack, recorded when its alternate stack
// is installed (a handler must not ask the thread library).
thread_local uintptr_t t_stack_low = 0;
thread_local uintptr_t t_stack_high = 0;

// Within reach of the guard page below the stack: an overflow.
bool near_stack(const void* address) {
    constexpr uintptr_t GUARD_REACH = 64 * 1024;
    const uintptr_t a = uintptr_t(address);
    return t_stack_high && a + GUARD_REACH >= t_stack_low && a < t_stack_high;
}

// Async-signal-safe text building: no stdio in a handler.
struct Text {
    char bytes[256];
    size_t used = 0;
    void add(const char* s) {
        while (*s && used < sizeof bytes) bytes[used++] = *s++;
    }
    void add_decimal(int n) {
        char digits[12];
        int i = 0;
        unsigned u = n < 0 ? 0u - unsigned(n) : unsigned(n);
        do digits[i++] = char('0' + u % 10); while ((u /= 10) && i < 11);
        if (n < 0) add("-");
        while (i > 0 && used < sizeof bytes) bytes[used++] = digits[--i];
    }
    void add_hex16(uint64_t n) {
        for (int shift = 60; shift >= 0 && used < sizeof bytes; shift -= 4)
            bytes[used++] = "0123456789ABCDEF"[(n >> shift) & 15];
    }
};

[[noreturn]] void report(int number, uintptr_t address) {
    Text t;
    t.add("*** Runtime Error ");
    t.add_decimal(number);
    t.add(": ");
    t.add(runtime::error_message(number));
    t.add("\n*** at: ");
    t.add_hex16(address);
    t.add("h\n");
    ssize_t written = write(STDERR_FILENO, t.bytes, t.used);
    (void)written;
    _exit(number);
}

// Recurses until the machine stack runs out (no stack is that deep); the
// frame's use after the call keeps it from becoming a loop.
volatile int g_depth_limit = 1 << 30;
[[gnu::noinline]] int exhaust_stack(volatile int* previous) {
    volatile int frame[64];
    frame[0] = previous ? previous[0] + 1 : 0;
    if (frame[0] >= g_depth_limit) return 0;
    return exhaust_stack(frame) + frame[1];
}

void on_fault(int signal, siginfo_t* info, void* context) {
    const bool overflow = signal == SIGSEGV && near_stack(info->si_addr);
    report(error_number(signal, info->si_code, overflow), code_address(info, context));
}

}  // namespace

int error_number(int signal, int code, bool stack_overflow) {
    for (const Mapping& m : k_mappings)
        if (m.signal == signal && m.code == code) return m.number;
    switch (signal) {
        case SIGSEGV: return stack_overflow ? STACK_OVERFLOW : ACCESS_VIOLATION;
        case SIGFPE: return FPU_ERROR;
        case SIGBUS: return BUS_ERROR;
        case SIGILL: return ILLEGAL_INSTRUCTION;
        default: return 99;
    }
}

void install_alternate_stack() {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
        void* base = nullptr;
        size_t size = 0;
        if (pthread_attr_getstack(&attr, &base, &size) == 0) {
            t_stack_low = uintptr_t(base);
            t_stack_high = t_stack_low + size;
        }
        pthread_attr_destroy(&attr);
    }
    // A stack someone else installed (a sanitizer's) serves as well and stays
    // theirs to release.
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)) return;
    stack_t alternate{};
    // Kept for the thread's life: the handler may need it at any time.
    alternate.ss_sp = std::malloc(ALTERNATE_STACK);
    if (!alternate.ss_sp) return;
    alternate.ss_size = ALTERNATE_STACK;
    sigaltstack(&alternate, nullptr);
}

void install() {
    struct sigaction action{};
    action.sa_sigaction = on_fault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) sigaction(signal, &action, nullptr);
}

void run_test_fault() {
    const char* fault = std::getenv("ZUN_TEST_FAULT");
    if (!fault) return;
    if (std::strcmp(fault, "segv") == 0) {
        // Not null: the sanitizer build would report a null store itself.
        volatile uintptr_t nowhere = 16;
        *reinterpret_cast<volatile int*>(nowhere) = 1;
    } else if (std::strcmp(fault, "fpe") == 0) {
#if defined(__x86_64__) || defined(__i386__)
        __asm__ volatile("xorl %%ecx, %%ecx\n\tmovl $1, %%eax\n\tcltd\n\tidivl %%ecx"
                         ::: "eax", "ecx", "edx");
#else
        raise(SIGFPE);
#endif
    } else if (std::strcmp(fault, "ill") == 0) {
#if defined(__x86_64__) || defined(__i386__)
        __asm__ volatile("ud2");
#else
        raise(SIGILL);
#endif
    } else if (std::strcmp(fault, "bus") == 0) {
        raise(SIGBUS);
    } else if (std::strcmp(fault, "stack") == 0) {
        exhaust_stack(nullptr);
    }
}

}  // namespace zun::fatal_signals
