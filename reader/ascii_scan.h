// Formatted input for the ASCII encoding: the reader's scanf formats, read
// from the input stream by a scanner of our own instead of the C library's
// fscanf, with the same results.
//
// For the directives below, ascii_scan does what glibc's fscanf does in the
// "C" locale, to the character: the same values assigned, the same return
// value (the number of assignments, or EOF when the input ended before the
// first one), and the stream left at the same place, also after a failed
// match, where glibc has consumed every character it looked at except the
// last one, which it pushes back (so "1e+x" read with %f consumes "1e+",
// assigns 1 and leaves "x"; "-x" read with %d consumes the "-").
//
//   white space   any run of white space in the input, none included
//   literal text  the same characters
//   %%            a literal '%'
//   %d %hd %ld    decimal integer into int, short, long; out-of-range values
//                 saturate to the range of long first, then narrow as the
//                 C library does (modulo the width of the type)
//   %f %g %e      floating-point number into float (%lf, %lg, %le: double):
//                 decimal or hexadecimal, inf, infinity, nan
//   %s  %Ns       a word (at most N characters), NUL-terminated
//   %c  %Nc       exactly 1 (N) characters, no white space skipped, no NUL
//   %[set] %[^set]  a run of characters of (not of) the set, NUL-terminated
//   *             after %: read and drop, not counted
//
// Nothing else is supported (widths on numbers, %i, %u, %x, %n, hh, ll, L):
// such a directive ends the scan like a failed match.
//
// The scanner reads through the stream's own buffer, so ftell, fseek and every
// other stdio call on the stream see it exactly as they would after fscanf.
// Numbers always use '.' as the decimal point, whatever the process locale.
// The stream must not be used by another thread during a call.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>

int ascii_scan(FILE* in, const char* format, ...) __attribute__((format(scanf, 2, 3)));
int ascii_vscan(FILE* in, const char* format, va_list args) __attribute__((format(scanf, 2, 0)));
// ascii_scan that also adds to *consumed the number of characters it
// consumed: the distance the stream position moved, known without ftell.
int ascii_scan_counted(FILE* in, long* consumed, const char* format, ...) __attribute__((format(scanf, 3, 4)));

// The reader's most frequent lines, each exactly ascii_scan_counted with the
// format of ascii_formats.h named, in much less time: kVertex, kUV, kHole,
// kFace and kSkipSpace.
int ascii_scan_vertex(FILE* in, long* consumed, float* x, float* y, float* z);
int ascii_scan_uv(FILE* in, long* consumed, float* u, float* v);
int ascii_scan_hole(FILE* in, long* consumed, short* n);
int ascii_scan_face(FILE* in, long* consumed, short* n, short* flags, short* material);
int ascii_skip_space(FILE* in, long* consumed);
// Up to n scans of kPair into pairs[2k] and pairs[2k + 1], stopping after the
// first that does not assign both; returns the number that did.
uint32_t ascii_scan_pairs(FILE* in, long* consumed, uint32_t n, long* pairs);
