// Explicit conversions between the 8-bit code pages of the register's world
// (Windows-1251 for device and log texts, 866 for fiscal TLV texts) and UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillon {

// Appends the UTF-8 form of a code point (U+FFFD for surrogates and values past U+10FFFF).
void AppendUtf8(std::string& out, char32_t cp);

// Code page 1251 / 866 bytes to UTF-8; an undefined byte becomes U+FFFD.
std::string Cp1251ToUtf8(std::string_view bytes);
void AppendCp1251AsUtf8(std::string& out, std::string_view bytes);
std::string Cp866ToUtf8(std::string_view bytes);
void AppendCp866AsUtf8(std::string& out, std::string_view bytes);

// UTF-8 to code page 1251; characters the code page lacks become `replacement`.
std::string Utf8ToCp1251(std::string_view text, char replacement = '?');

// Reads the code point at pos and moves pos past it; malformed sequences give U+FFFD
// and move pos past the bytes that were examined (at least one).
char32_t NextUtf8(std::string_view text, std::size_t& pos);

// Whether the bytes are well-formed UTF-8 holding at least one Cyrillic letter of two bytes
// (U+0400..U+04FF): what text in Windows-1251 almost never is. A sequence cut off at the very
// end counts as well-formed, so that a sample cut from a longer text may be judged.
bool LooksLikeCyrillicUtf8(std::string_view bytes);

// Number of code points of valid UTF-8 (every byte that is not a continuation byte counts).
std::size_t Utf8Length(std::string_view text);
// Byte offset of the code point numbered `chars` (0-based), or the size when past the end.
std::size_t Utf8Offset(std::string_view text, std::size_t chars);
// The first `chars` code points.
std::string_view Utf8Left(std::string_view text, std::size_t chars);

// Unicode lower-casing of UTF-8 text (Cyrillic included), independent of the process locale.
std::string Utf8ToLower(std::string_view text);
// The same appended to `out` (its memory reused: no allocation once it is large enough).
void AppendUtf8Lower(std::string& out, std::string_view text);

}  // namespace quillon
