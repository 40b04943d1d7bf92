#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace qlx {

// The text encodings the engine converts between; UTF-16 texts in memory.
enum class TEncoding { UTF8, UTF16LE };

// Strict conversions. Invalid input (lone surrogates, overlong or truncated
// UTF-8, code points past U+10FFFF or in the surrogate range) raises
// qlx::Error("No mapping for the Unicode character exists in the target multi-byte code page").
extern const char* const kNoMappingText;

std::vector<std::uint8_t> EncodeText(const std::u16string& text, TEncoding encoding);
std::u16string DecodeText(const std::uint8_t* bytes, std::size_t count, TEncoding encoding);

std::string Utf16ToUtf8(const std::u16string& text);
std::u16string Utf8ToUtf16(const std::string& text);

// What Windows' own UTF-16 to UTF-8 conversion does with a surrogate that
// is not half of a pair: U+FFFD in its place. One unit for one, so the
// length stays; pairs are kept. Afterwards the text always has a UTF-8 form.
inline constexpr char16_t kReplacementCharacter = u'\xFFFD';
void ReplaceLoneSurrogates(std::u16string& text) noexcept;

}  // namespace qlx
