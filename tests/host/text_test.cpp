#include <gtest/gtest.h>

#include "vertexa/text.h"

namespace {

// Each row: bytes as the system or a trueSpace file gives them, and the UTF-8
// the host must print.
TEST(Text, WindowsCodePageAndNativeNamesBecomeUtf8) {
    struct Row { std::string in, cp1252, native; bool utf8; };
    const Row rows[] = {
        {"Cube", "Cube", "Cube", true},
        {"W\xFCrfel", "W\xC3\xBCrfel", "W\xC3\xBCrfel", false},                 // ü in the code page
        {"\x80\x81\x9F\xA0\xFF", "\xE2\x82\xAC\xC2\x81\xC5\xB8\xC2\xA0\xC3\xBF", "\xE2\x82\xAC\xC2\x81\xC5\xB8\xC2\xA0\xC3\xBF", false},
        {"mod\xC3\xA9le", "mod\xC3\x83\xC2\xA9le", "mod\xC3\xA9le", true},     // already UTF-8: kept as native
        {"\xC0\x80", "\xC3\x80\xE2\x82\xAC", "\xC3\x80\xE2\x82\xAC", false},    // overlong NUL
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC", "\xC3\xAD\xC2\xA0\xE2\x82\xAC", false},  // surrogate
        {"\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC", "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC", false},  // above U+10FFFF
        {"\xE2\x82", "\xC3\xA2\xE2\x80\x9A", "\xC3\xA2\xE2\x80\x9A", false},   // cut sequence
        {"\xF0\x9F\x98\x80", "\xC3\xB0\xC5\xB8\xCB\x9C\xE2\x82\xAC", "\xF0\x9F\x98\x80", true},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(vertexa::is_utf8(r.in), r.utf8) << r.in;
        EXPECT_EQ(vertexa::utf8_from_cp1252(r.in), r.cp1252) << r.in;
        EXPECT_EQ(vertexa::utf8_from_native(r.in), r.native) << r.in;
        EXPECT_TRUE(vertexa::is_utf8(vertexa::utf8_from_native(r.in))) << r.in;
    }
}

}  // namespace
