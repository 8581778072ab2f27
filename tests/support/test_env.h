// Setting environment variables, which differs between Linux and Windows.
#pragma once

#include <cstdlib>

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

}  // namespace cobtest
