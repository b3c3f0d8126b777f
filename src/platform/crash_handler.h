#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

namespace obs_sayline::platform {

// Writes one or two "CRASH" lines into the host log when the process is about to die of a
// fault (Windows: unhandled structured exception; Linux: SIGSEGV, SIGBUS, SIGILL, SIGFPE),
// then lets the platform's normal crash handling go on. Never waits for the logger's lock.
// On Linux the lines also go to stderr, first and always; the handler allocates nothing, and
// a watchdog alarm ends the process should the host's log handler block.
//
// install replaces the current handlers and remembers them; uninstall puts them back, so no
// handler of ours stays behind once the module's code is unmapped. Both are idempotent and
// are meant for the host's control thread (module load and unload).
void installCrashHandler();
void uninstallCrashHandler();
bool crashHandlerInstalled();

#ifdef _WIN32
// The top-level exception filter itself; always returns EXCEPTION_CONTINUE_SEARCH.
LONG WINAPI crashFilter(EXCEPTION_POINTERS* pointers);
#endif

}  // namespace obs_sayline::platform
