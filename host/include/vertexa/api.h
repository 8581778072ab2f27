// Symbol visibility of the Vertexa host library. On Windows the library is
// VertexaDll.dll: its own sources export the names, everyone else imports them.
#pragma once

#if defined(_WIN32)
#if defined(VERTEXA_BUILDING_HOST)
#define VX_API __declspec(dllexport)
#else
#define VX_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define VX_API __attribute__((visibility("default")))
#else
#define VX_API
#endif
