#include "base/utf.h"

#include "base/errors.h"

namespace qlx {

const char* const kNoMappingText = "No mapping for the Unicode character exists in the target multi-byte code page";

namespace {

[[noreturn]] void NoMapping() { throw Error(kNoMappingText); }

inline bool IsHighSurrogate(char32_t c) noexcept { return c >= 0xD800 && c <= 0xDBFF; }
inline bool IsLowSurrogate(char32_t c) noexcept { return c >= 0xDC00 && c <= 0xDFFF; }

template <class Out>
void AppendUtf8(const char16_t* text, std::size_t count, Out& out) {
  for (std::size_t i = 0; i < count; ++i) {
    char32_t c = text[i];
    if (IsHighSurrogate(c)) {
      if (i + 1 >= count || !IsLowSurrogate(text[i + 1])) NoMapping();
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (IsLowSurrogate(c)) {
      NoMapping();
    }
    using B = typename Out::value_type;
    if (c < 0x80) {
      out.push_back(static_cast<B>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<B>(0xC0 | (c >> 6)));
      out.push_back(static_cast<B>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<B>(0xE0 | (c >> 12)));
      out.push_back(static_cast<B>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<B>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<B>(0xF0 | (c >> 18)));
      out.push_back(static_cast<B>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<B>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<B>(0x80 | (c & 0x3F)));
    }
  }
}

// Strict: overlong forms, surrogate code points, values past U+10FFFF,
// stray continuation bytes and truncated sequences all refuse the whole text.
std::u16string DecodeUtf8(const std::uint8_t* p, std::size_t count) {
  std::u16string out;
  out.reserve(count);
  std::size_t i = 0;
  while (i < count) {
    const std::uint8_t b0 = p[i];
    if (b0 < 0x80) {
      out.push_back(b0);
      ++i;
      continue;
    }
    int extra;
    char32_t c;
    char32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      extra = 1, c = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      extra = 2, c = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      extra = 3, c = b0 & 0x07, min = 0x10000;
    } else {
      NoMapping();  // continuation byte, C0/C1 or F5..FF as a lead
    }
    if (count - i <= static_cast<std::size_t>(extra)) NoMapping();
    for (int k = 1; k <= extra; ++k) {
      const std::uint8_t b = p[i + k];
      if ((b & 0xC0) != 0x80) NoMapping();
      c = (c << 6) | (b & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) NoMapping();
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

}  // namespace

std::vector<std::uint8_t> EncodeText(const std::u16string& text, TEncoding encoding) {
  std::vector<std::uint8_t> out;
  if (encoding == TEncoding::UTF16LE) {
    // Code units as they are, low byte first: the key bytes of a password.
    out.reserve(text.size() * 2);
    for (char16_t u : text) {
      out.push_back(static_cast<std::uint8_t>(u & 0xFF));
      out.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return out;
  }
  out.reserve(text.size() * 3);
  AppendUtf8(text.data(), text.size(), out);
  return out;
}

std::u16string DecodeText(const std::uint8_t* bytes, std::size_t count, TEncoding encoding) {
  if (encoding == TEncoding::UTF16LE) {
    if (count % 2 != 0) NoMapping();  // half a code unit maps to nothing
    std::u16string out(count / 2, u'\0');
    for (std::size_t i = 0; i < out.size(); ++i)
      out[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return out;
  }
  return DecodeUtf8(bytes, count);
}

std::string Utf16ToUtf8(const std::u16string& text) {
  std::string out;
  out.reserve(text.size() * 3);
  AppendUtf8(text.data(), text.size(), out);
  return out;
}

void ReplaceLoneSurrogates(std::u16string& text) noexcept {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]))
      ++i;  // a pair: both halves stay
    else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i]))
      text[i] = kReplacementCharacter;
  }
}

std::u16string Utf8ToUtf16(const std::string& text) {
  return DecodeUtf8(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

}  // namespace qlx
