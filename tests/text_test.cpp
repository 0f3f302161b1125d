// What devsim prints of a text a program or a file chose: nothing in it
// can steer the terminal or start a line of its own.
#include <gtest/gtest.h>

#include "debug_format.h"
#include "text.h"

namespace {

TEST(Escaped, ControlsAndBytesThatAreNotUtf8AreWrittenOut) {
    const struct {
        const char* text;
        const char* printed;
    } cases[] = {
        {"\\Windows\\nuv.exe", "\\Windows\\nuv.exe"},
        {"a\x1b]0;owned\x07" "b", "a\\x1b]0;owned\\x07b"},  // C0: OSC, BEL
        {"line\nnext\r\t", "line\\nnext\\r\\t"},
        {"\x7f", "\\x7f"},
        {"\xc2\x9b" "2J", "\\x9b2J"},  // U+009B, CSI
        {"\xc2\x9d" "0;x", "\\x9d0;x"},  // U+009D, OSC
        {"a\xc2\x85" "b", "a\\x85b"},    // U+0085, NEL
        {"\xc2\xa0" "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x95\x9b",
         "\xc2\xa0" "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x95\x9b"},  // printable: kept
        {"\xff", "\\xff"},
        {"\xc0\x80", "\\xc0\\x80"},                      // an overlong NUL
        {"\xe0\x80\x9b", "\\xe0\\x80\\x9b"},             // an overlong CSI
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"},             // a surrogate
        {"\xe2\x82", "\\xe2\\x82"},                      // cut short
        {"\x9b" "2J", "\\x9b2J"},                        // a lone C1 byte
        {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},    // past U+10FFFF
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sim::Escaped(c.text), c.printed) << c.printed;
    }
}

// UTF-8 into the device's UTF-16: each code point as one unit or a
// surrogate pair, and U+FFFD for each byte that starts no well-formed
// sequence (overlong forms, surrogates, a sequence cut short).
TEST(ToUtf16, WellFormedTextIsKeptAndEveryBadByteIsOneReplacement) {
    const struct {
        std::string utf8;
        std::u16string utf16;
    } cases[] = {
        {"AppRunAfterTzChange", u"AppRunAfterTzChange"},
        {"", u""},
        {"\xC3\xA9", u"\u00E9"},
        {"\xE2\x82\xAC", u"\u20AC"},
        {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
        {"\xC0\x80", u"\uFFFD\uFFFD"},          // an overlong NUL
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // a surrogate
        {"\xE2\x82", u"\uFFFD\uFFFD"},          // cut short
        {"a\x80z", u"a\uFFFDz"},
        {"\xF5\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sim::ToUtf16(c.utf8), c.utf16) << sim::Escaped(c.utf8);
    }
    EXPECT_EQ(sim::ToUtf8(sim::ToUtf16("Cl\xC3\xB6" "ck \xF0\x9F\x98\x80").c_str()),
              "Cl\xC3\xB6" "ck \xF0\x9F\x98\x80");
}

}  // namespace
