// Strict JSON reading for the drawing files and the tools' session files: a key repeated in
// one object and nesting beyond a depth are refused (a plain DOM parse would keep the last key
// silently), reading stays linear in the text, and a document that would need more than a few
// times its text in memory is refused before it can exhaust the process. RapidJSON's event
// reader does the lexing in place (texts are decoded inside the buffer read); a checking layer
// sits between its events and the document they build, and converts numbers: a RapidJSON
// document for the drawing reader (fast, pooled, its texts in the buffer read), an nlohmann
// document for the session files. Allocation failure surfaces as std::bad_alloc.
#ifndef KORVEX_STRICT_JSON_H
#define KORVEX_STRICT_JSON_H

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvex {

// RapidJSON's allocator interface over operator new: a failed allocation throws rather than
// answering a null the parser would go on with.
struct ThrowingAllocator {
    static const bool kNeedFree = true;
    void* Malloc(size_t size) { return size ? ::operator new(size) : nullptr; }
    void* Realloc(void* original, size_t originalSize, size_t newSize) {
        if (newSize == 0) {
            Free(original);
            return nullptr;
        }
        void* grown = ::operator new(newSize);
        if (original) std::memcpy(grown, original, std::min(originalSize, newSize));
        Free(original);
        return grown;
    }
    static void Free(void* p) { ::operator delete(p); }
};

// The text being read, in place. Whitespace is skipped eight blanks at a time where it can be
// (SkipWhitespace below, which the reader finds for this stream): indented files are half
// blanks.
class InsituText : public rapidjson::InsituStringStream {
  public:
    InsituText(char* text, size_t size) : rapidjson::InsituStringStream(text), end_(text + size) {}
    const char* end() const { return end_; }

  private:
    const char* end_; // the terminating NUL
};

} // namespace korvex

namespace rapidjson {
// The reader copies the stream into its own frame while it reads, as it does its own streams.
template <> struct StreamTraits<korvex::InsituText> {
    enum { copyOptimization = 1 };
};
} // namespace rapidjson

namespace korvex {

// Called before every token: inlined, so that the common case, no blank at all, costs a test.
inline RAPIDJSON_FORCEINLINE void SkipWhitespace(InsituText& text) {
    constexpr std::uint64_t EightBlanks = 0x2020202020202020;
    char* at = text.src_;
    while (*at == ' ' || *at == '\n' || *at == '\r' || *at == '\t') {
        ++at;
        std::uint64_t word = 0;
        while (text.end() - at >= 8 && (std::memcpy(&word, at, 8), word == EightBlanks))
            at += 8;
    }
    text.src_ = at;
}

using JsonDocument =
    rapidjson::GenericDocument<rapidjson::UTF8<>, rapidjson::MemoryPoolAllocator<ThrowingAllocator>,
                               ThrowingAllocator>;
using JsonValue = JsonDocument::ValueType;

// Checks the reader's events before the document being built (Target) sees them: the depth,
// keys repeated in one object, the memory the document will take, and text that could not be
// printed back. `text` is the buffer being read.
template <class Target> class CheckedEvents {
  public:
    CheckedEvents(Target& target, const char* text, size_t textBytes, size_t maxDepth)
        : target_(target), text_(text), maxDepth_(maxDepth),
          memoryLimit_(MemoryPerTextByte * textBytes + MemoryAllowance) {}

    bool Null() { return charge(ValueBytes) && target_.Null(); }
    bool Bool(bool value) { return charge(ValueBytes) && target_.Bool(value); }
    // The reader hands numbers over as their text (RawNumber), never as these.
    bool Int(int) { return false; }
    bool Uint(unsigned) { return false; }
    bool Int64(std::int64_t) { return false; }
    bool Uint64(std::uint64_t) { return false; }
    bool Double(double) { return false; }
    // Numbers come as their text, converted here exactly (std::from_chars): a whole number that
    // fits in 64 bits is an integer, any other a double. One beyond the range of a double is
    // refused, and overflowAt() tells where it starts.
    bool RawNumber(const char* text, rapidjson::SizeType length, bool) {
        if (!charge(ValueBytes)) return false;
        const char* end = text + length;
        if (const PlainNumber plain = plainNumber(text, end); plain.digits > 0) {
            if (!plain.point) {
                const auto magnitude = static_cast<std::int64_t>(plain.significand);
                return plain.negative ? target_.Int64(-magnitude)
                                      : target_.Uint64(plain.significand);
            }
            const double value =
                static_cast<double>(plain.significand) / PowersOfTen[plain.fraction];
            return target_.Double(plain.negative ? -value : value);
        }
        if (std::none_of(text, end, [](char c) { return c == '.' || c == 'e' || c == 'E'; })) {
            std::int64_t negative = 0;
            std::uint64_t positive = 0;
            if (*text == '-' && std::from_chars(text, end, negative).ec == std::errc())
                return target_.Int64(negative);
            if (*text != '-' && std::from_chars(text, end, positive).ec == std::errc())
                return target_.Uint64(positive);
        }
        double value = 0;
        if (std::from_chars(text, end, value).ec == std::errc::result_out_of_range) {
            // Too small or too large: strtod tells which, and rounds what underflows.
            value = std::strtod(std::string(text, length).c_str(), nullptr);
            if (std::isinf(value)) {
                overflowAt_ = static_cast<size_t>(text - text_);
                return false;
            }
        }
        return target_.Double(value);
    }
    bool String(const char* text, rapidjson::SizeType length, bool copy) {
        return printable(text, length) && charge(ValueBytes + length) &&
               target_.String(text, length, copy);
    }
    bool StartObject() { return open() && target_.StartObject(); }
    bool StartArray() { return open() && target_.StartArray(); }
    bool Key(const char* text, rapidjson::SizeType length, bool copy) {
        if (!printable(text, length) || !charge(ObjectEntryBytes + length)) return false;
        keySpans_.emplace_back(keyBytes_.size(), length);
        keyBytes_.append(text, length);
        return target_.Key(text, length, copy);
    }
    bool EndObject(rapidjson::SizeType members) {
        return distinctKeys() && close() && target_.EndObject(members);
    }
    bool EndArray(rapidjson::SizeType elements) { return close() && target_.EndArray(elements); }

    const std::string& reason() const { return reason_; }
    // Where a number too large for a double starts, or npos.
    size_t overflowAt() const { return overflowAt_; }
    bool refuse(const std::string& reason) {
        if (reason_.empty()) reason_ = reason;
        return false;
    }

  private:
    static constexpr double PowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    // A number without exponent of at most 15 digits (18 for a whole number): its significand
    // and the digits after the point are exact, so one division rounds it correctly, as
    // std::from_chars would. `digits` 0 for any other.
    struct PlainNumber {
        bool negative = false, point = false;
        int digits = 0, fraction = 0;
        std::uint64_t significand = 0;
    };
    static PlainNumber plainNumber(const char* text, const char* end) {
        PlainNumber n;
        n.negative = *text == '-';
        int digitsBeforePoint = 0;
        for (const char* at = text + n.negative; at < end; ++at) {
            const auto digit = static_cast<unsigned>(*at - '0');
            if (digit < 10) {
                n.significand = n.significand * 10 + digit;
                ++n.digits;
            } else if (*at == '.' && !n.point) {
                n.point = true;
                digitsBeforePoint = n.digits;
            } else {
                return {};
            }
        }
        if (n.digits > (n.point ? 15 : 18)) return {};
        n.fraction = n.point ? n.digits - digitsBeforePoint : 0;
        return n;
    }

    static constexpr size_t MemoryPerTextByte = 6;
    static constexpr size_t MemoryAllowance = size_t{64} << 20;
    static constexpr size_t ValueBytes = 32;       // a value and its share of a list's slack
    static constexpr size_t ContainerBytes = 64;   // a list's or map's own block
    static constexpr size_t ObjectEntryBytes = 96; // a map entry with its key

    Target& target_;
    const char* text_;
    size_t overflowAt_ = std::string::npos;
    size_t maxDepth_;
    size_t memory_ = 0;
    size_t memoryLimit_;
    std::string reason_;
    // The keys of the open objects, innermost last, and where each open container's start.
    std::string keyBytes_;
    std::vector<std::pair<size_t, size_t>> keySpans_; // offset and length in keyBytes_
    std::vector<size_t> openKeys_;                    // the first span of each open container

    // Every value passes here: the refusals are kept out of line.
    bool charge(size_t bytes) {
        memory_ += bytes;
        return memory_ <= memoryLimit_ || refuseMemory();
    }
    __attribute__((noinline)) bool refuseMemory() {
        return refuse("the document needs more memory than " + std::to_string(MemoryPerTextByte) +
                      " times its size to read");
    }
    __attribute__((noinline)) bool refuseDepth() {
        return refuse("the document nests deeper than " + std::to_string(maxDepth_) + " levels");
    }
    // The reader checks the raw bytes; an escaped lone surrogate (\uDC00) still decodes to
    // bytes that are not UTF-8.
    bool printable(const char* text, size_t length) {
        for (size_t i = 0; i + 1 < length; ++i)
            if (static_cast<unsigned char>(text[i]) == 0xED &&
                static_cast<unsigned char>(text[i + 1]) >= 0xA0)
                return refuse("not JSON: a text escapes a lone surrogate");
        return true;
    }
    bool open() {
        if (openKeys_.size() >= maxDepth_) return refuseDepth();
        openKeys_.push_back(keySpans_.size());
        return charge(ValueBytes + ContainerBytes);
    }
    bool close() {
        const size_t first = openKeys_.back();
        openKeys_.pop_back();
        if (first < keySpans_.size()) {
            keyBytes_.resize(keySpans_[first].first);
            keySpans_.resize(first);
        }
        return true;
    }
    std::string_view keyAt(const std::pair<size_t, size_t>& span) const {
        return std::string_view(keyBytes_).substr(span.first, span.second);
    }
    // Sorting the object's keys finds a repeat in n log n, whatever the object's size.
    bool distinctKeys() {
        const auto first = keySpans_.begin() + static_cast<std::ptrdiff_t>(openKeys_.back());
        std::sort(first, keySpans_.end(),
                  [this](const auto& a, const auto& b) { return keyAt(a) < keyAt(b); });
        const auto repeat =
            std::adjacent_find(first, keySpans_.end(), [this](const auto& a, const auto& b) {
                return keyAt(a) == keyAt(b);
            });
        if (repeat == keySpans_.end()) return true;
        return refuse("not JSON: the key '" + std::string(keyAt(*repeat)) +
                      "' appears twice in one object");
    }
};

// Builds an nlohmann document from checked events.
class JsonBuilder {
  public:
    using json = nlohmann::json;
    explicit JsonBuilder(json* root) : root_(root) {}

    bool Null() { return place(json()); }
    bool Bool(bool value) { return place(json(value)); }
    bool Int(int value) { return place(json(static_cast<std::int64_t>(value))); }
    bool Uint(unsigned value) { return place(json(static_cast<std::int64_t>(value))); }
    bool Int64(std::int64_t value) { return place(json(value)); }
    // Whole numbers keep the signed type while they fit, as every reader expects of them.
    bool Uint64(std::uint64_t value) {
        if (value <= static_cast<std::uint64_t>(INT64_MAX))
            return place(json(static_cast<std::int64_t>(value)));
        return place(json(value));
    }
    bool Double(double value) { return place(json(value)); }
    bool String(const char* text, rapidjson::SizeType length, bool) {
        return place(json(std::string(text, length)));
    }
    bool StartObject() { return open(json::object()); }
    bool StartArray() { return open(json::array()); }
    bool Key(const char* text, rapidjson::SizeType length, bool) {
        pendingKey_ = &(*open_.back())[std::string(text, length)];
        return true;
    }
    bool EndObject(rapidjson::SizeType) { return close(); }
    bool EndArray(rapidjson::SizeType) { return close(); }

  private:
    json* root_;
    std::vector<json*> open_;
    json* pendingKey_ = nullptr;

    // Where the next value goes: the root, the open list's end, or the key just read.
    json* slotFor(json&& value) {
        if (open_.empty()) {
            *root_ = std::move(value);
            return root_;
        }
        json& parent = *open_.back();
        if (parent.is_array()) {
            auto& list = *parent.get_ptr<json::array_t*>();
            list.push_back(std::move(value));
            return &list.back();
        }
        *pendingKey_ = std::move(value);
        return pendingKey_;
    }
    bool place(json&& value) {
        slotFor(std::move(value));
        return true;
    }
    bool open(json&& container) {
        open_.push_back(slotFor(std::move(container)));
        return true;
    }
    bool close() {
        open_.pop_back();
        return true;
    }
};

// The reader's account of a syntax error. A number too large for a double names the number.
inline std::string syntaxErrorReason(std::string_view text, rapidjson::ParseErrorCode code,
                                     size_t offset) {
    if (code == rapidjson::kParseErrorNumberTooBig) {
        const size_t end = text.find_first_not_of("+-.0123456789eE", offset);
        return "not JSON: number overflow parsing '" +
               std::string(text.substr(offset, end - offset)) + "'";
    }
    return std::string("not JSON: syntax error: ") + rapidjson::GetParseError_En(code);
}

// Runs the reader over the `size` bytes at `buffer`, a NUL after them, into `target`, decoding
// texts in place (a target may keep pointers into the buffer); false with the reason and the
// byte offset a syntax error stopped at (0 otherwise).
template <class Target>
bool readStrictJson(char* text, size_t size, size_t maxDepth, Target& target, std::string* reason,
                    size_t* errorByte) {
    constexpr unsigned Flags = rapidjson::kParseInsituFlag | rapidjson::kParseValidateEncodingFlag |
                               rapidjson::kParseNumbersAsStringsFlag;
    const std::string_view buffer(text, size);
    CheckedEvents<Target> events(target, text, size, maxDepth);
    InsituText stream(text, size);
    rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, ThrowingAllocator> reader;
    const rapidjson::ParseResult result = reader.Parse<Flags>(stream, events);
    *errorByte = 0;
    if (result.IsError() && events.overflowAt() != std::string::npos) {
        *errorByte = events.overflowAt();
        *reason = syntaxErrorReason(buffer, rapidjson::kParseErrorNumberTooBig, *errorByte);
        return false;
    }
    if (result.IsError() && !events.reason().empty()) {
        *reason = events.reason();
        return false;
    }
    if (result.IsError()) {
        *errorByte = result.Offset();
        *reason = syntaxErrorReason(buffer, result.Code(), result.Offset());
        return false;
    }
    if (stream.Tell() != size) { // the reader takes a NUL byte for the end
        *errorByte = stream.Tell();
        *reason = "not JSON: syntax error: a NUL byte in the text";
        return false;
    }
    return true;
}

// Parses `text` into *out; false with the reason ("not JSON: ..." for a syntax error) and, when
// asked, the byte offset of a syntax error.
inline bool parseStrictJson(const std::string& text, size_t maxDepth, nlohmann::json* out,
                            std::string* reason, size_t* errorByte = nullptr) {
    std::string buffer = text;
    JsonBuilder builder(out);
    size_t stoppedAt = 0;
    if (readStrictJson(buffer.data(), buffer.size(), maxDepth, builder, reason, &stoppedAt))
        return true;
    if (errorByte) *errorByte = stoppedAt;
    *out = nlohmann::json();
    return false;
}

// Parses the `size` bytes at `text`, a NUL after them, into the RapidJSON document *out, with
// the same checks and reasons. The document's texts stay in `text`, which is changed and must
// outlive the document.
inline bool parseStrictDocument(char* text, size_t size, size_t maxDepth, JsonDocument* out,
                                std::string* reason) {
    bool parsed = false;
    auto generate = [&](JsonDocument& document) {
        size_t stoppedAt = 0;
        parsed = readStrictJson(text, size, maxDepth, document, reason, &stoppedAt);
        return parsed;
    };
    out->Populate(generate);
    return parsed;
}

} // namespace korvex

#endif
