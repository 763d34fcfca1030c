// The profile vocabulary: the specially treated handle names, the six enumerations with their
// texts, and the readers that turn a group's or a part graphic's custom properties into
// HandleProperties and PartProperties.
#ifndef TILLER_HANDLE_VOCABULARY_H
#define TILLER_HANDLE_VOCABULARY_H

#include "tiller/host/oleauto.h"
#include "tiller/host/utf8.h"
#include "tiller/tiller.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tiller {

// The handle names that the settings, the placement, the report and the drag treat specially.
inline constexpr const char* BoundingBoxName = "Bounding_box";
inline constexpr const char* BoundingBoxTipsName = "Bounding_box_tips";
inline constexpr const char* BoundingBoxFacetsName = "Bounding_box_facets";
inline constexpr const char* ReferencePointName = "Reference_point";
inline constexpr const char* SelectionCSName = "SelectionCS";
inline constexpr const char* AxisNames[] = {"AxisX", "AxisY", "AxisZ"};

struct EnumVocabulary {
    std::vector<std::string> texts;      // indexed by value
    std::map<std::string, uint32_t> map; // every text to its value
    std::string key;                     // the property key
};

// Built when the library is loaded, read-only afterwards.
const EnumVocabulary& TransformVocabulary();
const EnumVocabulary& PositionVocabulary();
const EnumVocabulary& OrientationVocabulary();
const EnumVocabulary& MovementVocabulary();
const EnumVocabulary& ExtentsVocabulary();
const EnumVocabulary& PartVocabulary();
// Every key the loader reads on a handle group, and on a part group.
const std::vector<std::string>& HandleKeys();
const std::vector<std::string>& PartKeys();

struct PartProperties {
    double transparency = 0.0;
    double ambient = 0.1;
    double diffuse = 0.75;
    double specular = 0.0;
    int32_t fixedSize = 0;
};

// The UTF-8 text value of the first property named `key`; none when the key is missing or its
// first value is not text or not valid text.
std::optional<std::string> FindPropertyText(SAFEARRAY* names, SAFEARRAY* values, int count,
                                            const char* key);
int32_t TextToInt(const std::string& text, int32_t fallback);
double TextToFloat(const std::string& text, double fallback);
bool TextEqualsNoCase(const std::string& a, const std::string& b);
uint32_t EnumFromText(const EnumVocabulary& vocabulary, const std::optional<std::string>& text);
const std::string& EnumToText(const EnumVocabulary& vocabulary, uint32_t value);

// Fills `record` from one group's properties; false when a required property is missing or
// undefined (fields read before the failing one keep their values).
bool ReadHandleProperties(HandleProperties& record, SAFEARRAY* names, SAFEARRAY* values, int count);
// The PartType of one child graphic (0: not a part) and its display values.
uint32_t ReadPartProperties(SAFEARRAY* names, SAFEARRAY* values, int count,
                            PartProperties& properties);

} // namespace tiller

#endif
