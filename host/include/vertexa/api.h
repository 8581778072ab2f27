// Symbol visibility of the Vertexa host library.
#pragma once

#if defined(__GNUC__)
#define VX_API __attribute__((visibility("default")))
#else
#define VX_API
#endif
