#pragma once

// Where the window's controls go and what they say, for 96 dots per inch and
// a height of 13 pixels for "0" in the window's font; every window scales
// the table by the same rule.

#include <array>
#include <cmath>

namespace melvorin::window {

struct TPlace {
    const char* name;  // the member's name, also the control's object name
    int left, top, width, height;
};

inline constexpr int kClientWidth = 363;
inline constexpr int kClientHeight = 486;
// The status line's height; the window is this much taller.
inline constexpr int kStatusHeight = 44;

// In creation order; the status line goes under the specified layout.
inline constexpr std::array<TPlace, 7> kLayout{{
    {"lbl_SearchPort", 34, 30, 57, 13},
    {"Key", 170, 30, 18, 13},
    {"edtKey", 191, 24, 136, 21},
    {"btnSearch", 36, 72, 297, 35},
    {"lvSsid", 36, 130, 295, 325},
    {"edt_SearchPort", 98, 24, 53, 21},
    {"lblStatus", 12, kClientHeight, kClientWidth - 24, kStatusHeight},
}};

// The place of the control named `name` (the table holds it).
constexpr const TPlace& PlaceOf(const char* name) {
    for (const TPlace& place : kLayout) {
        const char* a = place.name;
        const char* b = name;
        while (*a != '\0' && *a == *b) {
            ++a;
            ++b;
        }
        if (*a == *b) return place;
    }
    return kLayout.back();
}

// The specified texts.
inline constexpr const char* kWindowTitle = "Melvorin";
inline constexpr const char* kSearchPortCaption = "搜索端口";
inline constexpr const char* kKeyCaption = "Key";
inline constexpr const char* kKeyInitial = "12345678";
inline constexpr const char* kSearchCaption = "重获SSID";
inline constexpr const char* kSsidColumn = "SSID 双击即可连接↓";
inline constexpr const char* kStrengthColumn = "信号强度";
inline constexpr const char* kSearchPortInitial = "1902";
inline constexpr int kSsidColumnWidth = 190;
inline constexpr int kStrengthColumnWidth = 80;

inline constexpr const char* kWindowFontFamily = "WenQuanYi Micro Hei";
inline constexpr int kDesignDpi = 96;
inline constexpr int kDesignTextHeight = 13;
inline constexpr int kWindowFontPixels = 11;
inline constexpr int kListFontPixels = 16;

// The window font's pixel size on a screen of `dpi` dots per inch.
inline int WindowFontPixels(double dpi) {
    const long pixels = std::lround(kWindowFontPixels * dpi / kDesignDpi);
    return pixels < 1 ? 1 : static_cast<int>(pixels);
}

// The layout's scale: the measured height of "0" in the window's font over
// 13 (1 when nothing was measured).
inline double LayoutScale(int measuredTextHeight) {
    return measuredTextHeight > 0 ? static_cast<double>(measuredTextHeight) / kDesignTextHeight : 1.0;
}

inline int Scaled(int value, double scale) { return static_cast<int>(std::lround(value * scale)); }

}  // namespace melvorin::window
