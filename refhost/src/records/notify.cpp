// The application record and its notification engine.
//
// Registrations are kept in advise order and every notification reaches the registrations
// advised for its kind in that order. A callback may advise or unadvise while a notification
// is being delivered: an unadvised registration hears nothing more, a new one hears only later
// notifications.
//
// Freezing holds notifications back: every notification sent while the freeze depth is above
// 0 is kept, with copies of its parameter slots (a BSTR is copied, a by-reference pointer is
// copied as it is), and the held ones are delivered in order when the last thaw brings the
// depth back to 0.
//
// Notification records are bookkeeping only: opening one keeps a copy of its parameter,
// locking marks the newest, closing releases the newest. They do not batch notifications.
#include "graphic_records.h"
#include "records.h"

#include <algorithm>
#include <cstdarg>
#include <deque>
#include <new>
#include <string>
#include <utility>
#include <vector>

struct NotifyCookie {
    uint64_t id = 0;
    NotifyCallback callback = nullptr;
    void* data = nullptr;
    std::vector<uint32_t> kinds;
};

namespace {

struct HeldNotification {
    uint32_t kind;
    void* source;
    uint32_t phase;
    uint16_t flags;
    std::vector<NotifyParam> params; // owned copies
};

struct OpenRecord {
    NotifyParam param; // owned copy
    bool locked = false;
};

} // namespace

struct AppStruct {
    std::vector<NotifyCookie*> registrations; // owned, in advise order
    uint64_t lastRegistrationId = 0;
    int frozenDepth = 0;
    std::deque<HeldNotification> held;
    std::vector<OpenRecord> openRecords;
    std::vector<KvSentNotification> sent;
};

namespace {

// The one application of the process. It is never destroyed: modules may notify from their
// unload hooks, after static destruction.
AppStruct& application() {
    static auto* app = new AppStruct;
    return *app;
}

bool isApplication(const AppStruct* app) {
    return app == &application();
}

NotifyParam copyParam(const NotifyParam& source) {
    NotifyParam copy{};
    VariantInit(&copy.value);
    VariantCopy(&copy.value, &source.value);
    copy.isReference = source.isReference;
    return copy;
}

std::vector<NotifyParam> copyParams(const NotifyParam* params, int count) {
    std::vector<NotifyParam> copies;
    for (int i = 0; i < count; ++i)
        copies.push_back(copyParam(params[i]));
    return copies;
}

void clearParams(std::vector<NotifyParam>& params) {
    for (NotifyParam& p : params)
        VariantClear(&p.value);
}

bool listensTo(const NotifyCookie& r, uint32_t kind) {
    return std::find(r.kinds.begin(), r.kinds.end(), kind) != r.kinds.end();
}

NotifyCookie* findRegistration(uint64_t id) {
    for (NotifyCookie* r : application().registrations)
        if (r->id == id) return r;
    return nullptr;
}

bool isRegistered(const NotifyCookie* cookie) {
    const auto& all = application().registrations;
    return cookie && std::find(all.begin(), all.end(), cookie) != all.end();
}

// Calls every registration advised for `kind`; answers how many were called.
int dispatch(uint32_t kind, void* source, uint32_t phase, uint16_t flags, NotifyParam* params) {
    std::vector<uint64_t> listeners;
    for (const NotifyCookie* r : application().registrations)
        if (listensTo(*r, kind)) listeners.push_back(r->id);
    int called = 0;
    for (uint64_t id : listeners) {
        const NotifyCookie* r = findRegistration(id);
        if (!r) continue;
        r->callback(kind, source, phase, params, flags);
        ++called;
    }
    return called;
}

void deliverHeld() {
    AppStruct& app = application();
    while (app.frozenDepth == 0 && !app.held.empty()) {
        HeldNotification n = std::move(app.held.front());
        app.held.pop_front();
        dispatch(n.kind, n.source, n.phase, n.flags, n.params.data());
        clearParams(n.params);
    }
}

// Logs the notification, then delivers it or, while frozen, holds it back. Answers how many
// registrations were called.
int send(const char* logSource, int logLine, uint32_t kind, void* source, uint32_t phase,
         uint16_t flags, int count, NotifyParam* params) {
    AppStruct& app = application();
    app.sent.push_back({kind, logSource ? logSource : "", logLine, phase, count});
    if (app.frozenDepth > 0) {
        app.held.push_back({kind, source, phase, flags, copyParams(params, count)});
        return 0;
    }
    return dispatch(kind, source, phase, flags, params);
}

int raiseFromApplication(uint32_t kind, uint32_t phase, uint16_t flags,
                         std::vector<NotifyParam> slots) {
    return send("application", 0, kind, &application(), phase, flags,
                static_cast<int>(slots.size()), slots.data());
}

// False, with `result` of no use, when memory runs out.
bool readKinds(int count, va_list kinds, std::vector<uint32_t>& result) {
    try {
        for (int i = 0; i < count; ++i)
            result.push_back(static_cast<uint32_t>(va_arg(kinds, int)));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void endRegistration(NotifyCookie* cookie) {
    auto& all = application().registrations;
    all.erase(std::find(all.begin(), all.end(), cookie));
    korvex::deleteRecord(KvNotifyCookie, cookie);
}

} // namespace

KORVEX_API AppStruct* AppGetCurrentApp() {
    return &application();
}

// Null for another application, no callback or no kind.
KORVEX_API NotifyCookie* NotifyEngineAdviseDbNotifyEx(int, AppStruct* app, NotifyCallback callback,
                                                      void* data, int count, ...) {
    if (!isApplication(app) || !callback || count <= 0) return nullptr;
    std::vector<uint32_t> wanted;
    va_list kinds;
    va_start(kinds, count);
    const bool read = readKinds(count, kinds, wanted);
    va_end(kinds);
    if (!read) return nullptr;
    auto* cookie = korvex::newRecord<NotifyCookie>(KvNotifyCookie);
    if (!cookie) return nullptr;
    try {
        app->registrations.push_back(cookie);
    } catch (const std::bad_alloc&) {
        korvex::deleteRecord(KvNotifyCookie, cookie);
        return nullptr;
    }
    cookie->kinds = std::move(wanted);
    cookie->id = ++app->lastRegistrationId;
    cookie->callback = callback;
    cookie->data = data;
    return cookie;
}

// Stops the given kinds (every kind when count is 0); a registration left with no kind ends
// and its cookie is released. Answers 0 for a cookie that is not registered.
KORVEX_API int NotifyEngineUnadviseDbNotify(AppStruct* app, NotifyCookie* cookie, int, int count,
                                            ...) {
    if (!isApplication(app) || !isRegistered(cookie)) return 0;
    // The kinds are read in place: stopping needs no room, so a registration always ends.
    va_list kinds;
    va_start(kinds, count);
    for (int i = 0; i < count; ++i)
        std::erase(cookie->kinds, static_cast<uint32_t>(va_arg(kinds, int)));
    va_end(kinds);
    if (count <= 0) cookie->kinds.clear();
    if (cookie->kinds.empty()) endRegistration(cookie);
    return 1;
}

KORVEX_API int NotifyEngineOpenNotifyRecord(AppStruct* app, NotifyParam* param) {
    if (!isApplication(app)) return 0;
    OpenRecord record;
    record.param = param ? copyParam(*param) : NotifyParam{};
    app->openRecords.push_back(record);
    return 1;
}

// Closes the newest open record; 0 when none is open.
KORVEX_API int NotifyEngineCloseNotifyRecord(AppStruct* app, int) {
    if (!isApplication(app) || app->openRecords.empty()) return 0;
    VariantClear(&app->openRecords.back().param.value);
    app->openRecords.pop_back();
    return 1;
}

// Locks (or unlocks) the newest open record; 0 when none is open.
KORVEX_API int NotifyEngineLockNotifyRecord(AppStruct* app, int lock) {
    if (!isApplication(app) || app->openRecords.empty()) return 0;
    app->openRecords.back().locked = lock != 0;
    return 1;
}

// `context` reaches the callbacks as their source. 0 for a negative count or missing slots.
KORVEX_API int NotifyEngineNotify(void* context, const char* source, int line, uint32_t kind,
                                  uint32_t phase, int count, NotifyParam* params) {
    if (count < 0 || (count > 0 && !params)) return 0;
    send(source, line, kind, context, phase, 0, count, params);
    return 1;
}

// Freezing nests; the thaw that ends the outermost freeze delivers what was held back. A thaw
// without a freeze answers 0.
KORVEX_API int NotifyEngineFreezeDbNotify(AppStruct* app, int freeze, int) {
    if (!isApplication(app)) return 0;
    if (freeze) {
        ++app->frozenDepth;
        return 1;
    }
    if (app->frozenDepth == 0) return 0;
    if (--app->frozenDepth == 0) deliverHeld();
    return 1;
}

void korvex::announceViewportClosing(ViewportStruct* vp) {
    raiseFromApplication(12, 1, 0,
                         {NotifyReferenceParam(&application()), NotifyReferenceParam(vp)});
}

KORVEX_API int kvAppCloseDrawingNotify(DrawingStruct* drawing) {
    return raiseFromApplication(
        11, 1, 0, {NotifyReferenceParam(&application()), NotifyReferenceParam(drawing)});
}

KORVEX_API int kvAppShutdownNotify() {
    return raiseFromApplication(8, 1, 0, {NotifyReferenceParam(&application())});
}

KORVEX_API int kvAppRaise(uint32_t kind, uint32_t phase, uint16_t flags,
                          const std::vector<NotifyParam>& slots) {
    return raiseFromApplication(kind, phase, flags, slots);
}

KORVEX_API int kvNotifyFrozenDepth() {
    return application().frozenDepth;
}

KORVEX_API int kvOpenNotifyRecords() {
    return static_cast<int>(application().openRecords.size());
}

KORVEX_API std::vector<KvSentNotification> kvSentNotifications() {
    return application().sent;
}

KORVEX_API void kvClearSentNotifications() {
    application().sent.clear();
}
