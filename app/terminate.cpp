// The shipped exe's default std::terminate handler, in force until WinMain
// installs its own (TerminateAfterCrashReport): end the process at once, as
// libstdc++ built without its verbose handler does. The verbose one writes the
// uncaught exception's demangled type to the standard error stream, which a
// GUI program does not have, and brings the whole C++ demangler with it
// (about 50 KB of an exe every user downloads first). Defining the handler
// here keeps the library's own from being linked.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
