// What tests need of the system that differs between Linux and Windows:
// setting environment variables, and whether file modes bind this process.
#pragma once

#include <cstdlib>
#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace cobtest {

// Sets (or, with null, removes) an environment variable. On Windows this goes
// through the C library, whose copy of the environment every module reads;
// there an empty value removes the variable too.
inline void set_env(const char* name, const char* value) {
#if defined(_WIN32)
    ::_putenv_s(name, value != nullptr ? value : "");
#else
    if (value != nullptr) ::setenv(name, value, 1);
    else ::unsetenv(name);
#endif
}

// Whether a folder's mode can refuse this process new files: not for root,
// and not on Windows, whose files have no such modes.
inline bool modes_bind_us() {
#if defined(_WIN32)
    return false;
#else
    return ::geteuid() != 0;
#endif
}

}  // namespace cobtest
