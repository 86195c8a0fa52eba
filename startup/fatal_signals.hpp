// Machine faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL) end the process with the
// runtime-error report: "*** Runtime Error N: message" and the faulting code
// address, on standard error, then exit status N.
#pragma once
#include <csignal>

namespace zun::fatal_signals {

// Process-wide handlers; each thread that runs the interpreter also calls
// install_alternate_stack, so a machine-stack overflow can still be reported.
void install();
void install_alternate_stack();

// The runtime error number of a fault, from the signal and its si_code (the
// fault address tells a stack overflow from other access violations).
int error_number(int signal, int code, bool stack_overflow);

// Test hook: when the environment variable ZUN_TEST_FAULT names a fault
// (segv, bus, fpe, ill, stack), raises it; does nothing otherwise.
void run_test_fault();

}  // namespace zun::fatal_signals
