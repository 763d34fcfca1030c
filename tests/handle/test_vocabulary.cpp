// Reading handle and part properties: required keys, yes/no texts, number parsing with its
// fallbacks, defaults and limits, and lookups in the property arrays with their UTF-8 values.
#include "support/live_records.h"
#include "tiller/handle/vocabulary.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

using namespace tiller;

namespace {

// A property's name and its value: a text, or (nullopt) a number that is not text.
using Entry = std::pair<std::wstring, std::optional<std::wstring>>;
using Entries = std::vector<Entry>;

const Entries Required = {{L"handle_name", L"Grip"},
                          {L"handle_transform", L"scale"},
                          {L"handle_position", L"extents_rib_x10"},
                          {L"handle_orientation", L"selection_cs"},
                          {L"handle_movement", L"wp_cs_xy"}};

class PropertyTest : public LiveRecordsTest {
  protected:
    void Use(const Entries& entries) {
        ReleaseAll();
        count = static_cast<int>(entries.size());
        names = kvSafeArrayCreate(VT_BSTR, count);
        values = kvSafeArrayCreate(VT_VARIANT, count);
        for (uint32_t i = 0; i < entries.size(); ++i) {
            kvSafeArrayPutElement(names, i, entries[i].first.c_str());
            VARIANT value;
            VariantInit(&value);
            value.vt = entries[i].second ? VT_BSTR : VT_R8;
            if (entries[i].second) value.bstrVal = SysAllocString(entries[i].second->c_str());
            kvSafeArrayPutElement(values, i, &value);
            VariantClear(&value);
        }
    }
    // Reads a handle from the required properties followed by `extra`.
    bool ReadHandle(const Entries& extra, HandleProperties& record) {
        Entries all = Required;
        all.insert(all.end(), extra.begin(), extra.end());
        Use(all);
        return ReadHandleProperties(record, names, values, count);
    }
    HandleProperties Handle(const Entries& extra) {
        HandleProperties record;
        EXPECT_TRUE(ReadHandle(extra, record));
        return record;
    }
    uint32_t ReadPart(const Entries& entries, PartProperties& part) {
        Use(entries);
        return ReadPartProperties(names, values, count, part);
    }
    void ReleaseAll() override {
        SafeArrayDestroy(names);
        SafeArrayDestroy(values);
        names = values = nullptr;
    }
    SAFEARRAY* names = nullptr;
    SAFEARRAY* values = nullptr;
    int count = 0;
};

} // namespace

TEST_F(PropertyTest, RequiredPropertiesAndTheirVocabularies) {
    const HandleProperties h = Handle({});
    EXPECT_EQ(h.csName, "Grip");
    EXPECT_EQ(h.TransformType, TransformScale);
    EXPECT_EQ(h.PositionType, PositionExtentsRibX10);
    EXPECT_EQ(EnumToText(PositionVocabulary(), h.PositionType), "extents_rib_x10");
    EXPECT_EQ(h.OrientationType, OrientationSelectionCS);
    EXPECT_EQ(h.MovementType, MovementWorkPlaneXY);
    EXPECT_EQ(h.ExtentsType, ExtentsUndefined);
    EXPECT_EQ(h.Priority_Diff_ifExtents0, 0.0);

    HandleProperties record;
    Use({{L"handle_name", L"A"}, {L"handle_transform", L"Move"}});
    EXPECT_FALSE(ReadHandleProperties(record, names, values, count));
    EXPECT_EQ(record.csName, "A") << "fields read before the failing one keep their values";
    // A key in other letters, a missing or undefined value, and empty or unconvertible names.
    const auto broken = [](size_t index, std::optional<std::wstring> value) {
        Entries entries = Required;
        if (value)
            entries[index].second = value;
        else
            entries.erase(entries.begin() + index);
        return entries;
    };
    Entries capitalKey = Required;
    capitalKey[0].first = L"Handle_Name";
    for (const Entries& entries :
         {capitalKey, broken(4, std::nullopt), broken(2, L"undefined"), broken(0, L""),
          broken(0, std::wstring{L'G', wchar_t(0xDC00)})}) {
        Use(entries);
        EXPECT_FALSE(ReadHandleProperties(record, names, values, count));
    }
}

TEST_F(PropertyTest, FirstOfRepeatedKeysDecidesEvenWhenItIsNotText) {
    Use({{L"handle_part", std::nullopt}, {L"handle_part", L"mouseout"}});
    EXPECT_EQ(FindPropertyText(names, values, count, "handle_part"), std::nullopt);
    Use({{L"handle_name", L"Gr\u00efp \u2192 \U0001F600"}});
    EXPECT_EQ(FindPropertyText(names, values, count, "handle_name"),
              "Gr\xc3\xafp \xe2\x86\x92 \xf0\x9f\x98\x80");
    Use({{L"handle_part", L"static"}, {L"handle_part", L"mouseout"}});
    EXPECT_EQ(FindPropertyText(names, values, count, "handle_part"), "static");
    EXPECT_EQ(FindPropertyText(names, values, 1, nullptr), std::nullopt);
    EXPECT_EQ(FindPropertyText(names, nullptr, 1, "handle_part"), std::nullopt);
}

TEST_F(PropertyTest, YesNoFlagsIgnoreCaseButNotBlanks) {
    const HandleProperties h = Handle({{L"handle_snap_to_center", L"YES"},
                                       {L"handle_multi_view", L"Yes"},
                                       {L"handle_position_zoomable", L" yes"},
                                       {L"handle_hide_if_selection2D", L"yes "},
                                       {L"handle_disable_if_view_by_z", L"yEs"},
                                       {L"handle_autohide_mouseover_part", L"nope"}});
    EXPECT_EQ(h.SnapCursorToCenter, 1u);
    EXPECT_EQ(h.MultiView, 1u);
    EXPECT_EQ(h.PositionAbsolute, 0u);
    EXPECT_EQ(h.HideIfSelection2D, 0u);
    EXPECT_EQ(h.Disable_if_view_by_z, 1u);
    EXPECT_EQ(h.AutohideMouseoverPart, 1u);
    EXPECT_EQ(Handle({{L"handle_autohide_mouseover_part", L"NO"}}).AutohideMouseoverPart, 0u);
}

TEST_F(PropertyTest, NumbersFallBackAndPriorityIsClamped) {
    EXPECT_EQ(Handle({{L"handle_priority", L"-5"}}).Priority, -1.0);
    EXPECT_EQ(Handle({{L"handle_priority", L"abc"}}).Priority, -1.0);
    EXPECT_EQ(Handle({{L"handle_priority", L"0.5"}}).Priority, 0.5);
    EXPECT_EQ(Handle({{L"handle_priority", L"0.1"}}).Priority, 0.100000001490116119384765625);
    EXPECT_EQ(Handle({{L"handle_priority_inc_if_size_0", L"abc"}}).Priority_Diff_ifExtents0, -1.0);
    EXPECT_EQ(Handle({{L"handle__selector_handle_id", L"12abc"}}).SelectorHandleID, 12);
    EXPECT_EQ(Handle({{L"handle__selector_handle_id", L"abc"}}).SelectorHandleID, 0);
    EXPECT_EQ(Handle({{L"handle__selector_handle_id", L"99999999999"}}).SelectorHandleID, 0);
    EXPECT_EQ(Handle({{L"handle_keystroke_macros", L"^Z"}}).strMacros, "^Z");

    EXPECT_EQ(TextToInt("  -2147483648", 7), INT32_MIN);
    EXPECT_EQ(TextToInt("2147483648", 7), 7);
    EXPECT_EQ(TextToInt("+-3", 7), 7);
    EXPECT_EQ(TextToFloat(" \t2.5e1xyz", 0), 25.0);
    EXPECT_EQ(TextToFloat("-.5", 0), -0.5);
    EXPECT_EQ(TextToFloat(".", 9), 9.0);
    EXPECT_EQ(TextToFloat("1e39", 9), 9.0);
}

TEST_F(PropertyTest, ExtentsTypeDefaultsToScreenResolutionWhenPresent) {
    EXPECT_EQ(Handle({{L"handle_extents", L"foo"}}).ExtentsType, ExtentsByScreenResolution);
    EXPECT_EQ(Handle({{L"handle_extents", L"undefined"}}).ExtentsType, ExtentsByScreenResolution);
    EXPECT_EQ(Handle({{L"handle_extents", L"by_selection"}}).ExtentsType, ExtentsBySelection);
}

TEST_F(PropertyTest, PartTypeAndDisplayValues) {
    PartProperties part;
    EXPECT_EQ(ReadPart({{L"handle_part", L"undefined"}}, part), PartUndefined);
    EXPECT_EQ(ReadPart({{L"part_ambient", L"0.5"}}, part), PartUndefined);
    ASSERT_EQ(ReadPart({{L"handle_part", L"visibility_area"}}, part), PartVisibilityArea);
    EXPECT_EQ(part.transparency, 0.0);
    EXPECT_EQ(part.ambient, 0.1);
    EXPECT_EQ(part.diffuse, 0.75);
    EXPECT_EQ(part.specular, 0.0);
    EXPECT_EQ(part.fixedSize, 0);
    ASSERT_EQ(ReadPart({{L"handle_part", L"mouseover"},
                        {L"part_ambient", L"x"},
                        {L"part_diffuse", L"0.25"},
                        {L"part_fixed_size", L"120px"}},
                       part),
              PartMouseover);
    EXPECT_EQ(part.ambient, 0.0);
    EXPECT_EQ(part.diffuse, 0.25);
    EXPECT_EQ(part.fixedSize, 120);
}
