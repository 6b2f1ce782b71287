#pragma once

#include <windows.h>

struct IAccPropServices;

namespace melvorin::win32 {

// A control whose text changes are announced by a screen reader (Narrator,
// NVDA) without the focus moving to it: the control is annotated as a polite
// live region, and each change of its text is signalled. Made and used on
// the control's thread; COM is set up on that thread while it lives.
class TLiveRegion {
public:
    explicit TLiveRegion(HWND control);
    ~TLiveRegion();
    TLiveRegion(const TLiveRegion&) = delete;
    TLiveRegion& operator=(const TLiveRegion&) = delete;

    // Whether the annotation was accepted (false where the system's
    // accessibility services cannot hold it; the changes are signalled
    // anyway). It is removed when this goes, which must be before the
    // control is destroyed.
    bool Annotated() const { return annotated_; }
    // Tells the screen readers listening that the control's text changed.
    void Changed() const;

private:
    HWND control_;
    bool comReady_ = false;
    IAccPropServices* services_ = nullptr;
    bool annotated_ = false;
};

}  // namespace melvorin::win32
