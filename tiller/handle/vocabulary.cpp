#include "tiller/handle/vocabulary.h"

#include "tiller/profile/diagnostics.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <vector>

namespace tiller {
namespace {

EnumVocabulary MakeVocabulary(const char* key, std::vector<std::string> texts) {
    EnumVocabulary vocabulary;
    vocabulary.key = key;
    for (uint32_t value = 0; value < texts.size(); ++value)
        vocabulary.map.emplace(texts[value], value);
    vocabulary.texts = std::move(texts);
    return vocabulary;
}

const EnumVocabulary transformVocabulary =
    MakeVocabulary("handle_transform", {"undefined", "none", "move", "scale", "scale2", "rotate"});

const EnumVocabulary positionVocabulary = MakeVocabulary(
    "handle_position",
    {"undefined",         "refpoint",          "extents_center",    "selection_cs",
     "gctrl_cs_origin",   "extents_peek_000",  "extents_peek_010",  "extents_peek_110",
     "extents_peek_100",  "extents_peek_001",  "extents_peek_011",  "extents_peek_111",
     "extents_peek_101",  "extents_rib_x00",   "extents_rib_x10",   "extents_rib_x01",
     "extents_rib_x11",   "extents_rib_0y0",   "extents_rib_1y0",   "extents_rib_0y1",
     "extents_rib_1y1",   "extents_rib_00z",   "extents_rib_10z",   "extents_rib_01z",
     "extents_rib_11z",   "extents_facet_xy0", "extents_facet_xy1", "extents_facet_x0z",
     "extents_facet_x1z", "extents_facet_0yz", "extents_facet_1yz"});

const EnumVocabulary orientationVocabulary = MakeVocabulary(
    "handle_orientation", {"undefined", "gctrl_cs", "gctrl_rotbar_cs", "selection_cs"});

const EnumVocabulary movementVocabulary =
    MakeVocabulary("handle_movement", {"undefined", "none", "rotbar_cs_x", "rotbar_cs_xy",
                                       "rotbar_cs_xyz", "scene_cs_x", "scene_cs_xy", "scene_cs_xyz",
                                       "scene_cs_diag", "handle_cs_x", "wp_cs_xy"});

const EnumVocabulary extentsVocabulary =
    MakeVocabulary("handle_extents", {"undefined", "by_screen_resolution", "by_selection"});

const EnumVocabulary partVocabulary =
    MakeVocabulary("handle_part", {"undefined", "mouseout", "mouseover", "active", "static",
                                   "coordsystem", "highlight_area", "visibility_area"});

const std::vector<std::string> handleKeys = {"handle_name",
                                             "handle_transform",
                                             "handle_position",
                                             "handle_orientation",
                                             "handle_movement",
                                             "handle_extents",
                                             "handle_snap_to_center",
                                             "handle__selector_handle_id",
                                             "handle_priority",
                                             "handle_priority_inc_if_size_0",
                                             "handle_multi_view",
                                             "handle_position_zoomable",
                                             "handle_autohide_mouseover_part",
                                             "handle_hide_refpoint_whiledrag",
                                             "handle_hide_statics_whiledrag",
                                             "handle_hide_if_selection2D",
                                             "handle_disable_if_view_by_x",
                                             "handle_disable_if_view_by_y",
                                             "handle_disable_if_view_by_z",
                                             "handle_keystroke_macros"};

const std::vector<std::string> partKeys = {"handle_part",  "part_transparency", "part_ambient",
                                           "part_diffuse", "part_specular",     "part_fixed_size"};

// The name at `index` of a names array, or none when the element cannot be read.
// The copies are released however the reading ends, a failed allocation included.
std::optional<std::wstring> NameAt(SAFEARRAY* names, int32_t index) {
    BSTR name = nullptr;
    if (SafeArrayGetElement(names, &index, &name) != S_OK) return std::nullopt;
    const std::unique_ptr<wchar_t, void (*)(BSTR)> held(name, SysFreeString);
    return std::wstring(name ? name : L"");
}

struct HeldVariant {
    VARIANT value;
    HeldVariant() { VariantInit(&value); }
    ~HeldVariant() { VariantClear(&value); }
};

// The value at `index` when it is text; an unreadable or non-text value gives none.
std::optional<std::string> TextValueAt(SAFEARRAY* values, int32_t index) {
    HeldVariant held;
    VARIANT& value = held.value;
    if (SafeArrayGetElement(values, &index, &value) != S_OK) return std::nullopt;
    if (value.vt != VT_BSTR) return std::nullopt;
    return value.bstrVal ? utf8::Narrow(value.bstrVal) : std::string();
}

// Whether a name is the ASCII key of `length` bytes, compared without converting either.
bool NameIsAsciiKey(const std::optional<std::wstring>& name, const char* key, size_t length) {
    return name && name->size() == length && std::equal(key, key + length, name->begin());
}

// A property list with its names read once, so that looking a key up does not copy every name
// out of the host's array again.
class PropertyTable {
  public:
    PropertyTable(SAFEARRAY* names, SAFEARRAY* values, int count) : values_(values) {
        for (int32_t index = 0; index < count; ++index)
            names_.push_back(NameAt(names, index));
    }

    // See FindPropertyText.
    std::optional<std::string> Text(const char* key) const {
        if (!values_ || !key) return std::nullopt;
        // Every key the loader reads is ASCII; any other is compared as wide text.
        const size_t length = std::strlen(key);
        const bool ascii = std::all_of(key, key + length, [](char c) { return c >= 0; });
        const std::optional<std::wstring> wideKey = ascii ? std::nullopt : utf8::Widen(key);
        for (size_t index = 0; index < names_.size(); ++index) {
            const bool match = ascii ? NameIsAsciiKey(names_[index], key, length)
                                     : names_[index] && names_[index] == wideKey;
            if (!match) continue;
            auto text = TextValueAt(values_, static_cast<int32_t>(index));
            if (!text) ReportDiagnostic(DiagnosticCode::ValueNotText, key);
            return text;
        }
        return std::nullopt;
    }
    bool Has(const std::wstring& key) const {
        return std::any_of(names_.begin(), names_.end(),
                           [&key](const auto& name) { return name == key; });
    }
    // The names in order; none where one could not be read.
    const std::vector<std::optional<std::wstring>>& Names() const { return names_; }

  private:
    SAFEARRAY* values_;
    std::vector<std::optional<std::wstring>> names_;
};

bool IsBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

size_t SkipBlanks(const std::string& text, size_t at) {
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    return at;
}

size_t SkipSign(const std::string& text, size_t at) {
    return at < text.size() && (text[at] == '+' || text[at] == '-') ? at + 1 : at;
}

size_t SkipDigits(const std::string& text, size_t at) {
    while (at < text.size() && IsDigit(text[at]))
        ++at;
    return at;
}

// The decimal number (sign, digits, fraction, exponent) that `text` starts with after its
// leading blanks, without a '+' sign; empty when there is none.
std::string LeadingDecimalNumber(const std::string& text) {
    const size_t begin = SkipBlanks(text, 0);
    const size_t digits = SkipSign(text, begin);
    size_t end = SkipDigits(text, digits);
    bool hasDigits = end > digits;
    if (end < text.size() && text[end] == '.') {
        const size_t fractionEnd = SkipDigits(text, end + 1);
        hasDigits = hasDigits || fractionEnd > end + 1;
        end = fractionEnd;
    }
    if (!hasDigits) return {};
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        const size_t exponentDigits = SkipSign(text, end + 1);
        const size_t exponentEnd = SkipDigits(text, exponentDigits);
        if (exponentEnd > exponentDigits) end = exponentEnd;
    }
    const size_t from = text[begin] == '+' ? begin + 1 : begin;
    return text.substr(from, end - from);
}

// Reports `code` when `key` is not among the names at all (a present key whose value is not
// text has been reported as such already).
void ReportIfAbsent(const PropertyTable& table, const std::string& key, DiagnosticCode code) {
    if (DiagnosticsListening() && !table.Has(utf8::Widen(key).value_or(L"")))
        ReportDiagnostic(code, key);
}

// Reports the keys the loader does not read and the keys given more than once.
void ReportKeyMistakes(const PropertyTable& table, const std::vector<std::string>& known) {
    if (!DiagnosticsListening()) return;
    std::vector<std::wstring> seen;
    for (const auto& name : table.Names()) {
        if (!name) continue;
        const std::string key = utf8::Narrow(*name).value_or("");
        bool isKnown = false;
        for (const std::string& candidate : known)
            isKnown = isKnown || candidate == key;
        bool isRepeat = false;
        for (const std::wstring& earlier : seen)
            isRepeat = isRepeat || earlier == *name;
        if (!isKnown)
            ReportDiagnostic(DiagnosticCode::KeyUnknown, key);
        else if (isRepeat)
            ReportDiagnostic(DiagnosticCode::KeyRepeated, key);
        seen.push_back(*name);
    }
}

// Whether the whole of `text`, blanks around it aside, is the number the reader took from it.
bool WholeTextIsNumber(const std::string& text, bool integer) {
    const size_t begin = SkipBlanks(text, 0);
    size_t end = text.size();
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    const std::string core = text.substr(begin, end - begin);
    if (integer) return SkipDigits(core, SkipSign(core, 0)) == core.size();
    const size_t plus = !core.empty() && core[0] == '+' ? 1 : 0;
    return LeadingDecimalNumber(core).size() + plus == core.size();
}

// Reports a number the reader refused, so that the default stands, or read only in part. A
// text gives the same result for two different fallbacks only when a number was read.
void CheckNumberText(const char* key, const std::string& text, bool integer) {
    if (!DiagnosticsListening()) return;
    const bool refused = integer ? TextToInt(text, 0) == 0 && TextToInt(text, 1) == 1
                                 : TextToFloat(text, 0) == 0 && TextToFloat(text, 1) == 1;
    if (refused)
        ReportDiagnostic(DiagnosticCode::NumberRefused, key, text);
    else if (!WholeTextIsNumber(text, integer))
        ReportDiagnostic(DiagnosticCode::NumberPartlyRead, key, text);
}

void CheckYesNo(const char* key, const std::optional<std::string>& text) {
    if (text && DiagnosticsListening() && !TextEqualsNoCase(*text, "yes") &&
        !TextEqualsNoCase(*text, "no"))
        ReportDiagnostic(DiagnosticCode::FlagNotYesNo, key, *text);
}

// A yes/no property: true only for "yes" in any letter case.
bool IsYes(const std::optional<std::string>& text) {
    return text && TextEqualsNoCase(*text, "yes");
}

void ReadYesFlag(const PropertyTable& table, const char* key, uint32_t& flag) {
    const auto text = table.Text(key);
    CheckYesNo(key, text);
    if (IsYes(text)) flag = 1;
}

// A required enumeration property: false when it is missing or reads as undefined.
bool ReadRequiredEnum(const PropertyTable& table, const EnumVocabulary& vocabulary,
                      uint32_t& field) {
    const auto text = table.Text(vocabulary.key.c_str());
    if (!text) {
        ReportIfAbsent(table, vocabulary.key, DiagnosticCode::KeyMissing);
        return false;
    }
    field = EnumFromText(vocabulary, text);
    if (field == 0) ReportDiagnostic(DiagnosticCode::ValueRefused, vocabulary.key, *text);
    return field != 0;
}

// An optional single-precision property: untouched when missing.
void ReadFloat(const PropertyTable& table, const char* key, double fallback, double& field) {
    if (const auto text = table.Text(key)) {
        field = TextToFloat(*text, fallback);
        CheckNumberText(key, *text, false);
    }
}

// An optional integer property: untouched when missing.
void ReadInt(const PropertyTable& table, const char* key, int32_t fallback, int32_t& field) {
    if (const auto text = table.Text(key)) {
        field = TextToInt(*text, fallback);
        CheckNumberText(key, *text, true);
    }
}

} // namespace

const EnumVocabulary& TransformVocabulary() {
    return transformVocabulary;
}
const EnumVocabulary& PositionVocabulary() {
    return positionVocabulary;
}
const EnumVocabulary& OrientationVocabulary() {
    return orientationVocabulary;
}
const EnumVocabulary& MovementVocabulary() {
    return movementVocabulary;
}
const EnumVocabulary& ExtentsVocabulary() {
    return extentsVocabulary;
}
const EnumVocabulary& PartVocabulary() {
    return partVocabulary;
}
const std::vector<std::string>& HandleKeys() {
    return handleKeys;
}
const std::vector<std::string>& PartKeys() {
    return partKeys;
}

std::optional<std::string> FindPropertyText(SAFEARRAY* names, SAFEARRAY* values, int count,
                                            const char* key) {
    if (!names || !values || !key) return std::nullopt;
    return PropertyTable(names, values, count).Text(key);
}

int32_t TextToInt(const std::string& text, int32_t fallback) {
    const size_t sign = SkipBlanks(text, 0);
    const bool negative = sign < text.size() && text[sign] == '-';
    const size_t start = SkipSign(text, sign);
    const size_t end = SkipDigits(text, start);
    if (end == start) return fallback;
    const long long limit = negative ? -static_cast<long long>(INT32_MIN) : INT32_MAX;
    long long magnitude = 0;
    for (size_t at = start; at < end; ++at) {
        magnitude = magnitude * 10 + (text[at] - '0');
        if (magnitude > limit) return fallback;
    }
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

// Parsed without the process locale, so a host that changes its numeric locale still reads
// profiles written with a decimal point.
double TextToFloat(const std::string& text, double fallback) {
    const std::string number = LeadingDecimalNumber(text);
    if (number.empty()) return fallback;
    float value = 0.0f;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || end != number.data() + number.size()) return fallback;
    return static_cast<double>(value);
}

bool TextEqualsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

uint32_t EnumFromText(const EnumVocabulary& vocabulary, const std::optional<std::string>& text) {
    if (!text || text->empty()) return 0;
    const auto found = vocabulary.map.find(*text);
    return found == vocabulary.map.end() ? 0 : found->second;
}

const std::string& EnumToText(const EnumVocabulary& vocabulary, uint32_t value) {
    return vocabulary.texts[value];
}

bool ReadHandleProperties(HandleProperties& record, SAFEARRAY* names, SAFEARRAY* values,
                          int count) {
    const PropertyTable table(names, values, count);
    ReportKeyMistakes(table, handleKeys);
    const auto name = table.Text("handle_name");
    if (!name) {
        ReportIfAbsent(table, "handle_name", DiagnosticCode::NameMissing);
        return false;
    }
    record.csName = *name;
    if (record.csName.empty()) {
        ReportDiagnostic(DiagnosticCode::NameEmpty, "handle_name");
        return false;
    }
    if (!ReadRequiredEnum(table, transformVocabulary, record.TransformType) ||
        !ReadRequiredEnum(table, positionVocabulary, record.PositionType) ||
        !ReadRequiredEnum(table, orientationVocabulary, record.OrientationType) ||
        !ReadRequiredEnum(table, movementVocabulary, record.MovementType))
        return false;

    if (const auto extents = table.Text("handle_extents")) {
        record.ExtentsType = EnumFromText(extentsVocabulary, extents);
        if (record.ExtentsType == ExtentsUndefined) {
            ReportDiagnostic(DiagnosticCode::ValueDefaulted, extentsVocabulary.key, *extents);
            record.ExtentsType = ExtentsByScreenResolution;
        }
    }
    ReadYesFlag(table, "handle_snap_to_center", record.SnapCursorToCenter);
    ReadInt(table, "handle__selector_handle_id", 0, record.SelectorHandleID);
    ReadFloat(table, "handle_priority", -1.0, record.Priority);
    if (record.Priority < -1.0) {
        if (DiagnosticsListening())
            ReportDiagnostic(DiagnosticCode::NumberClipped, "handle_priority",
                             table.Text("handle_priority").value_or(""));
        record.Priority = -1.0;
    }
    ReadFloat(table, "handle_priority_inc_if_size_0", -1.0, record.Priority_Diff_ifExtents0);
    ReadYesFlag(table, "handle_multi_view", record.MultiView);
    ReadYesFlag(table, "handle_position_zoomable", record.PositionAbsolute);
    const auto autohide = table.Text("handle_autohide_mouseover_part");
    CheckYesNo("handle_autohide_mouseover_part", autohide);
    if (autohide && TextEqualsNoCase(*autohide, "no")) record.AutohideMouseoverPart = 0;
    ReadYesFlag(table, "handle_hide_refpoint_whiledrag", record.AutohideRefpointWhiledrag);
    ReadYesFlag(table, "handle_hide_statics_whiledrag", record.HideStaticPartsWhiledrag);
    ReadYesFlag(table, "handle_hide_if_selection2D", record.HideIfSelection2D);
    ReadYesFlag(table, "handle_disable_if_view_by_x", record.Disable_if_view_by_x);
    ReadYesFlag(table, "handle_disable_if_view_by_y", record.Disable_if_view_by_y);
    ReadYesFlag(table, "handle_disable_if_view_by_z", record.Disable_if_view_by_z);
    if (const auto macros = table.Text("handle_keystroke_macros")) record.strMacros = *macros;
    return true;
}

uint32_t ReadPartProperties(SAFEARRAY* names, SAFEARRAY* values, int count,
                            PartProperties& properties) {
    const PropertyTable table(names, values, count);
    const auto text = table.Text("handle_part");
    const uint32_t type = EnumFromText(partVocabulary, text);
    if (type == PartUndefined) {
        if (text)
            ReportDiagnostic(DiagnosticCode::PartTypeRefused, "handle_part", *text);
        else
            ReportIfAbsent(table, "handle_part", DiagnosticCode::PartWithoutType);
        return PartUndefined;
    }
    ReportKeyMistakes(table, partKeys);
    properties = PartProperties{};
    ReadFloat(table, "part_transparency", 0.0, properties.transparency);
    ReadFloat(table, "part_ambient", 0.0, properties.ambient);
    ReadFloat(table, "part_diffuse", 0.0, properties.diffuse);
    ReadFloat(table, "part_specular", 0.0, properties.specular);
    ReadInt(table, "part_fixed_size", 0, properties.fixedSize);
    return type;
}

} // namespace tiller
