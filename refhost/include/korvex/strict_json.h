// Strict JSON reading for the drawing files and the tools' session files: a key repeated in
// one object and nesting beyond a depth are refused (nlohmann would keep the last key
// silently), reading stays linear in the text, and a document that would need more than a few
// times its text in memory is refused before it can exhaust the process.
#ifndef KORVEX_STRICT_JSON_H
#define KORVEX_STRICT_JSON_H

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace korvex {

// Builds the document from the parser's events. Each key is looked up once in its own object;
// the memory the values take is estimated as they come.
class CheckedBuilder : public nlohmann::json_sax<nlohmann::json> {
  public:
    using json = nlohmann::json;
    CheckedBuilder(json* root, size_t textBytes, size_t maxDepth)
        : root_(root), maxDepth_(maxDepth),
          memoryLimit_(MemoryPerTextByte * textBytes + MemoryAllowance) {}

    bool null() override { return place(json()); }
    bool boolean(bool value) override { return place(json(value)); }
    bool number_integer(number_integer_t value) override { return place(json(value)); }
    bool number_unsigned(number_unsigned_t value) override { return place(json(value)); }
    bool number_float(number_float_t value, const string_t&) override {
        return place(json(value));
    }
    bool string(string_t& value) override {
        charge(value.size());
        return place(json(std::move(value)));
    }
    bool binary(binary_t&) override { return refuse("not JSON: binary values are not text"); }
    bool start_object(std::size_t) override { return open(json::object()); }
    bool start_array(std::size_t) override { return open(json::array()); }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }
    bool key(string_t& name) override {
        json& object = *open_.back();
        if (object.contains(name))
            return refuse("not JSON: the key '" + name + "' appears twice in one object");
        charge(ObjectEntryBytes + name.size());
        pendingKey_ = &object[name];
        return withinMemory();
    }
    bool parse_error(std::size_t byte, const std::string&,
                     const nlohmann::detail::exception& e) override {
        errorByte_ = byte;
        std::string message = e.what();
        const size_t tag = message.find("] ");
        if (tag != std::string::npos) message.erase(0, tag + 2);
        return refuse("not JSON: " + message);
    }

    const std::string& reason() const { return reason_; }
    // The offset the parser stopped at when the text is not JSON, else 0.
    size_t errorByte() const { return errorByte_; }

  private:
    static constexpr size_t MemoryPerTextByte = 6;
    static constexpr size_t MemoryAllowance = size_t{64} << 20;
    static constexpr size_t ValueBytes = 32;       // a value and its share of a list's slack
    static constexpr size_t ContainerBytes = 64;   // a list's or map's own block
    static constexpr size_t ObjectEntryBytes = 96; // a map node with its key

    json* root_;
    size_t maxDepth_;
    size_t errorByte_ = 0;
    std::vector<json*> open_;
    json* pendingKey_ = nullptr;
    size_t memory_ = 0;
    size_t memoryLimit_;
    std::string reason_;

    void charge(size_t bytes) { memory_ += bytes; }
    bool withinMemory() {
        if (memory_ <= memoryLimit_) return true;
        return refuse("the document needs more memory than " +
                      std::to_string(MemoryPerTextByte) + " times its size to read");
    }
    bool refuse(const std::string& reason) {
        if (reason_.empty()) reason_ = reason;
        return false;
    }
    // Where the next value goes: the root, the open list's end, or the key just read.
    json* slotFor(json&& value) {
        if (open_.empty()) {
            *root_ = std::move(value);
            return root_;
        }
        json& parent = *open_.back();
        if (parent.is_array()) {
            parent.push_back(std::move(value));
            return &parent.back();
        }
        *pendingKey_ = std::move(value);
        return pendingKey_;
    }
    bool place(json&& value) {
        charge(ValueBytes);
        slotFor(std::move(value));
        return withinMemory();
    }
    bool open(json&& container) {
        if (open_.size() >= maxDepth_)
            return refuse("the document nests deeper than " + std::to_string(maxDepth_) +
                          " levels");
        charge(ValueBytes + ContainerBytes);
        open_.push_back(slotFor(std::move(container)));
        return withinMemory();
    }
    bool close() {
        open_.pop_back();
        return true;
    }
};

// Parses `text` into *out; false with the reason ("not JSON: ..." for a syntax error) and, when
// asked, the byte offset of a syntax error.
inline bool parseStrictJson(const std::string& text, size_t maxDepth, nlohmann::json* out,
                            std::string* reason, size_t* errorByte = nullptr) {
    CheckedBuilder builder(out, text.size(), maxDepth);
    try {
        if (nlohmann::json::sax_parse(text, &builder)) return true;
        *reason = builder.reason().empty() ? "not JSON" : builder.reason();
    } catch (const nlohmann::json::exception& e) {
        *reason = std::string("not JSON: ") + e.what();
    }
    if (errorByte) *errorByte = builder.errorByte();
    *out = nlohmann::json();
    return false;
}

} // namespace korvex

#endif
