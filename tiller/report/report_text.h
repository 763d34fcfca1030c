// The text of a report as it is written: appended to one string, numbers through to_chars, so
// that neither a host locale nor a stream's formatting state can reach it and no stream is
// paid for on every piece.
#ifndef TILLER_REPORT_REPORT_TEXT_H
#define TILLER_REPORT_REPORT_TEXT_H

#include <charconv>
#include <string>
#include <string_view>
#include <type_traits>

namespace tiller {

class ReportText {
  public:
    ReportText& operator<<(std::string_view piece) {
        text_.append(piece);
        return *this;
    }
    // Exactly a char: a template, so that no number converts to one on the way.
    template <class T, std::enable_if_t<std::is_same_v<T, char>, int> = 0>
    ReportText& operator<<(T c) {
        text_.push_back(c);
        return *this;
    }
    // Whole numbers in decimal; characters and truth values have no number form here.
    template <class T,
              std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                                   !std::is_same_v<T, char> && !std::is_same_v<T, signed char> &&
                                   !std::is_same_v<T, unsigned char>,
                               int> = 0>
    ReportText& operator<<(T value) {
        char digits[24];
        text_.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
        return *this;
    }
    // Six significant digits, as a stream writes a double by default.
    template <class T, std::enable_if_t<std::is_floating_point_v<T>, int> = 0>
    ReportText& operator<<(T value) {
        char digits[32];
        text_.append(digits,
                     std::to_chars(digits, digits + sizeof digits, static_cast<double>(value),
                                   std::chars_format::general, 6)
                         .ptr);
        return *this;
    }
    const std::string& str() const { return text_; }

  private:
    std::string text_;
};

} // namespace tiller

#endif
