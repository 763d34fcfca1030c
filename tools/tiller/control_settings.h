// The control settings a session file may name, each bound to its GControlProperties field, so
// that reading a session and applying its settings share one list.
#ifndef TILLER_TOOLS_CONTROL_SETTINGS_H
#define TILLER_TOOLS_CONTROL_SETTINGS_H

// <cmath> comes first: tiller.h declares the library's own round.
#include <cmath>

#include "tiller/tiller.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace tiller::tools {

struct ControlSetting {
    std::string_view name;
    int32_t GControlProperties::*flag; // null for the two doubles
    double GControlProperties::*factor;
};

inline constexpr std::array<ControlSetting, 14> kControlSettings = {{
    {"Show_Axes", &GControlProperties::Show_Axes, nullptr},
    {"Show_Handles_RotBar_Move", &GControlProperties::Show_Handles_RotBar_Move, nullptr},
    {"Show_Handles_RotBar_Scale", &GControlProperties::Show_Handles_RotBar_Scale, nullptr},
    {"Show_Handles_RotBar_Rotate", &GControlProperties::Show_Handles_RotBar_Rotate, nullptr},
    {"Show_BoundaryBox", &GControlProperties::Show_BoundaryBox, nullptr},
    {"Show_Handles_GCtrlCS_Move", &GControlProperties::Show_Handles_GCtrlCS_Move, nullptr},
    {"Show_Handles_GCtrlCS_Scale", &GControlProperties::Show_Handles_GCtrlCS_Scale, nullptr},
    {"Show_BoundaryBox_Facets", &GControlProperties::Show_BoundaryBox_Facets, nullptr},
    {"Show_SelectionCS", &GControlProperties::Show_SelectionCS, nullptr},
    {"ScreenSize_Min", &GControlProperties::ScreenSize_Min, nullptr},
    {"ScreenSize_Max", &GControlProperties::ScreenSize_Max, nullptr},
    {"Light_Type", &GControlProperties::Light_Type, nullptr},
    {"Light_Affect_Diffuse", nullptr, &GControlProperties::Light_Affect_Diffuse},
    {"Light_Affect_Specular", nullptr, &GControlProperties::Light_Affect_Specular},
}};

enum class SettingResult { Set, Unknown, OutOfRange };

// Sets the named field. A whole-number field takes only a whole number within its range: the
// value is checked before it is converted.
inline SettingResult SetControlSetting(GControlProperties* settings, std::string_view name,
                                       double value) {
    for (const ControlSetting& s : kControlSettings) {
        if (s.name != name) continue;
        if (s.flag) {
            if (!(value >= INT32_MIN && value <= INT32_MAX) || value != std::floor(value))
                return SettingResult::OutOfRange;
            settings->*s.flag = static_cast<int32_t>(value);
        } else {
            settings->*s.factor = value;
        }
        return SettingResult::Set;
    }
    return SettingResult::Unknown;
}

} // namespace tiller::tools

#endif
