// The application's notification engine: registration by kind, delivery, unregistration from
// inside a delivery, freeze and thaw, notification records and the log of sent notifications.
#include "support/live_records.h"
#include "tiller/host/korvex.h"

#include <string>
#include <vector>

namespace {

struct Heard {
    uint32_t kind, phase;
    void* source;
    uint16_t flags;
    NotifyParam second; // kind 11 only
    std::wstring firstText;
};

std::vector<Heard> heard;
int heardBySecond = 0;
NotifyCookie* cookieToDrop = nullptr;

int First(uint32_t kind, void* source, uint32_t phase, NotifyParam* params, uint16_t flags) {
    Heard h{kind, phase, source, flags, kind == 11 ? params[1] : NotifyParam{}, L""};
    if (params && params[0].value.vt == VT_BSTR) h.firstText = params[0].value.bstrVal;
    heard.push_back(h);
    if (cookieToDrop) NotifyEngineUnadviseDbNotify(AppGetCurrentApp(), cookieToDrop, 0, 0);
    cookieToDrop = nullptr;
    return 0;
}

int Second(uint32_t, void*, uint32_t, NotifyParam*, uint16_t) {
    return ++heardBySecond, 0;
}

class NotifyTest : public LiveRecordsTest {
  protected:
    void SetUp() override {
        LiveRecordsTest::SetUp();
        heard.clear();
        heardBySecond = 0;
        kvClearSentNotifications();
    }
    NotifyCookie* Advise(NotifyCallback callback) {
        NotifyCookie* c = NotifyEngineAdviseDbNotifyEx(1, app_, callback, nullptr, 2, 8, 11);
        cookies_.push_back(c);
        return c;
    }
    void ReleaseAll() override {
        for (NotifyCookie* c : cookies_)
            NotifyEngineUnadviseDbNotify(app_, c, 0, 2, 8, 11);
    }
    AppStruct* app_ = AppGetCurrentApp();

  private:
    std::vector<NotifyCookie*> cookies_;
};

TEST_F(NotifyTest, DeliversTheAdvisedKindsOnly) {
    EXPECT_EQ(AppGetCurrentApp(), app_);
    const long cookies = kvLiveCount(KvNotifyCookie);
    ASSERT_NE(Advise(First), nullptr);
    EXPECT_EQ(kvLiveCount(KvNotifyCookie), cookies + 1);
    int drawing = 0;
    auto* d = reinterpret_cast<DrawingStruct*>(&drawing);
    EXPECT_EQ(kvAppCloseDrawingNotify(d), 1);
    EXPECT_EQ(kvAppShutdownNotify(), 1);
    EXPECT_EQ(kvAppRaise(59, 1, 0, {}), 0);
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].kind, 11u);
    EXPECT_EQ(heard[0].second.value.byref, d);
    EXPECT_EQ(heard[1].kind, 8u);
    EXPECT_EQ(heard[1].source, static_cast<void*>(app_));

    EXPECT_EQ(NotifyEngineAdviseDbNotifyEx(1, nullptr, First, nullptr, 1, 8), nullptr);
    kvFailNthCreation(1);
    EXPECT_EQ(NotifyEngineAdviseDbNotifyEx(1, app_, First, nullptr, 1, 8), nullptr);
}

TEST_F(NotifyTest, UnadviseStopsKindsEvenDuringADelivery) {
    const long cookies = kvLiveCount(KvNotifyCookie);
    Advise(First);
    NotifyCookie* c = NotifyEngineAdviseDbNotifyEx(1, app_, Second, nullptr, 2, 8, 11);
    EXPECT_EQ(NotifyEngineUnadviseDbNotify(app_, c, 0, 1, 8), 1);
    EXPECT_EQ(kvAppShutdownNotify(), 1);
    EXPECT_EQ(heardBySecond, 0);
    EXPECT_EQ(kvLiveCount(KvNotifyCookie), cookies + 2); // c is still advised for kind 11

    cookieToDrop = c; // First unadvises c before c's turn
    EXPECT_EQ(kvAppCloseDrawingNotify(nullptr), 1);
    EXPECT_EQ(heardBySecond, 0);
    EXPECT_EQ(kvLiveCount(KvNotifyCookie), cookies + 1);
    EXPECT_EQ(NotifyEngineUnadviseDbNotify(app_, c, 0, 0), 0);
}

TEST_F(NotifyTest, FrozenNotificationsAreHeldUntilTheLastThaw) {
    Advise(First);
    const long strings = kvLiveCount(KvBstr);
    EXPECT_EQ(NotifyEngineFreezeDbNotify(app_, 1, 0), 1);
    EXPECT_EQ(NotifyEngineFreezeDbNotify(app_, 1, 0), 1);
    EXPECT_EQ(kvNotifyFrozenDepth(), 2);
    {
        NotifyParam slot{};
        slot.value.vt = VT_BSTR;
        slot.value.bstrVal = SysAllocString(L"held");
        EXPECT_EQ(kvAppRaise(8, 1, 0, {slot}), 0);
        VariantClear(&slot.value); // the held copy must outlive the sender's slot
    }
    EXPECT_EQ(kvAppCloseDrawingNotify(nullptr), 0);
    EXPECT_EQ(kvLiveCount(KvBstr), strings + 1);
    NotifyEngineFreezeDbNotify(app_, 0, 0);
    EXPECT_TRUE(heard.empty());
    NotifyEngineFreezeDbNotify(app_, 0, 0);
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].firstText, L"held");
    EXPECT_EQ(heard[1].kind, 11u);
    EXPECT_EQ(kvLiveCount(KvBstr), strings);
    EXPECT_EQ(NotifyEngineFreezeDbNotify(app_, 0, 0), 0);
    EXPECT_EQ(kvNotifyFrozenDepth(), 0);
}

TEST_F(NotifyTest, RecordsAndTheLogOfSentNotifications) {
    NotifyParam opening{};
    opening.value.vt = VT_UI4;
    EXPECT_EQ(NotifyEngineOpenNotifyRecord(app_, &opening), 1);
    EXPECT_EQ(NotifyEngineOpenNotifyRecord(app_, &opening), 1);
    EXPECT_EQ(NotifyEngineLockNotifyRecord(app_, 1), 1);
    EXPECT_EQ(kvOpenNotifyRecords(), 2);
    EXPECT_EQ(NotifyEngineCloseNotifyRecord(app_, 0), 1);
    EXPECT_EQ(NotifyEngineCloseNotifyRecord(app_, 0), 1);
    EXPECT_EQ(NotifyEngineCloseNotifyRecord(app_, 0), 0);
    EXPECT_EQ(kvOpenNotifyRecords(), 0);

    NotifyParam params[2] = {};
    EXPECT_EQ(NotifyEngineNotify(nullptr, "DrawingProfile", 101, 59, 1, 2, params), 1);
    EXPECT_EQ(NotifyEngineNotify(nullptr, "DrawingProfile", 101, 59, 1, 2, nullptr), 0);
    kvAppShutdownNotify();
    const auto sent = kvSentNotifications();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].kind, 59u);
    EXPECT_EQ(sent[0].source, "DrawingProfile");
    EXPECT_EQ(sent[0].line, 101);
    EXPECT_EQ(sent[0].phase, 1u);
    EXPECT_EQ(sent[0].count, 2);
    EXPECT_EQ(sent[1].source, "application");
}

} // namespace
