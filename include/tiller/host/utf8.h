// The system's 8-bit text is UTF-8 and its wide text is UTF-32 (wchar_t), whatever locale the
// process runs in. Both sides of the host interface convert through these functions, so that
// a name survives the trip exactly or is refused; neither side ever asks the C locale.
#ifndef TILLER_HOST_UTF8_H
#define TILLER_HOST_UTF8_H

#include <cstddef>
#include <optional>
#include <string>

namespace utf8 {

// Whether `c` is a Unicode scalar value: in range and not a surrogate.
inline bool IsScalar(char32_t c) {
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

// The code point of the sequence starting at text[at], advancing `at` past it; none for an
// invalid, overlong or truncated sequence.
inline std::optional<char32_t> DecodeOne(const std::string& text, size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) return ++at, char32_t(lead);
    int extra = 0;
    char32_t c = 0;
    char32_t smallest = 0;
    if ((lead & 0xE0) == 0xC0)
        extra = 1, c = lead & 0x1F, smallest = 0x80;
    else if ((lead & 0xF0) == 0xE0)
        extra = 2, c = lead & 0x0F, smallest = 0x800;
    else if ((lead & 0xF8) == 0xF0)
        extra = 3, c = lead & 0x07, smallest = 0x10000;
    else
        return std::nullopt;
    if (text.size() - at <= static_cast<size_t>(extra)) return std::nullopt;
    for (int i = 1; i <= extra; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        c = (c << 6) | (next & 0x3F);
    }
    if (c < smallest || !IsScalar(c)) return std::nullopt;
    at += extra + 1;
    return c;
}

// UTF-8 to wide text; none when the text is not valid UTF-8.
inline std::optional<std::wstring> Widen(const std::string& text) {
    std::wstring wide;
    wide.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const std::optional<char32_t> c = DecodeOne(text, at);
        if (!c) return std::nullopt;
        wide.push_back(static_cast<wchar_t>(*c));
    }
    return wide;
}

// Wide text to UTF-8; none when it holds a value that is not a Unicode scalar value.
inline std::optional<std::string> Narrow(const std::wstring& text) {
    std::string narrow;
    narrow.reserve(text.size());
    for (const wchar_t w : text) {
        const auto c = static_cast<char32_t>(w);
        if (!IsScalar(c)) return std::nullopt;
        if (c < 0x80) {
            narrow.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            narrow.push_back(static_cast<char>(0xC0 | (c >> 6)));
            narrow.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            narrow.push_back(static_cast<char>(0xE0 | (c >> 12)));
            narrow.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            narrow.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            narrow.push_back(static_cast<char>(0xF0 | (c >> 18)));
            narrow.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            narrow.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            narrow.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return narrow;
}

// The small letter of an ASCII or Latin-1 capital (A-Z, U+00C0 to U+00DE but U+00D7); every
// other character is its own.
inline wchar_t FoldCase(wchar_t c) {
    if (c >= L'A' && c <= L'Z') return c + (L'a' - L'A');
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
    return c;
}

inline bool EqualsFolded(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    return true;
}

} // namespace utf8

#endif
