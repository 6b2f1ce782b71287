#include "win32/live_region.h"

#include <oleacc.h>

namespace melvorin::win32 {

namespace {

// The live-setting property of accessibility annotations and its value
// "polite" (a change waits until the reader has finished speaking).
constexpr GUID kLiveSettingProperty{0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
constexpr LONG kPolite = 1;

}  // namespace

TLiveRegion::TLiveRegion(HWND control) : control_(control) {
    // S_FALSE: already set up on this thread; each success is undone once.
    comReady_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                reinterpret_cast<void**>(&services_)))) {
        services_ = nullptr;
        return;
    }
    VARIANT polite{};
    polite.vt = VT_I4;
    polite.lVal = kPolite;
    annotated_ = SUCCEEDED(services_->SetHwndProp(control_, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                                  kLiveSettingProperty, polite));
}

TLiveRegion::~TLiveRegion() {
    if (services_ != nullptr) {
        if (annotated_) {
            services_->ClearHwndProps(control_, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                      &kLiveSettingProperty, 1);
        }
        services_->Release();
    }
    if (comReady_) CoUninitialize();
}

void TLiveRegion::Changed() const {
    NotifyWinEvent(EVENT_OBJECT_LIVEREGIONCHANGED, control_, OBJID_CLIENT, CHILDID_SELF);
}

}  // namespace melvorin::win32
