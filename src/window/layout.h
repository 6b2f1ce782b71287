#pragma once

// Where the window's controls go, what they say at first and the order Tab
// visits them, for 96 dots per inch and a height of 13 pixels for "0" in the
// window's font; every window scales the table by the same rule.

#include <array>
#include <cmath>
#include <cstddef>
#include <string_view>
#include <utility>

namespace melvorin::window {

struct TPlace {
    const char* name;  // the member's name, also the control's object name
    int left, top, width, height;
    const char* text;  // its text or caption at start ("" for none)
};

inline constexpr int kClientWidth = 363;
inline constexpr int kClientHeight = 486;
// The status line's height; the window is this much taller.
inline constexpr int kStatusHeight = 44;

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

// In creation order; the status line goes under the specified layout. The
// list's texts are its column captions, above.
inline constexpr std::array<TPlace, 7> kLayout{{
    {"lbl_SearchPort", 34, 30, 57, 13, kSearchPortCaption},
    {"Key", 170, 30, 18, 13, kKeyCaption},
    {"edtKey", 191, 24, 136, 21, kKeyInitial},
    {"btnSearch", 36, 72, 297, 35, kSearchCaption},
    {"lvSsid", 36, 130, 295, 325, ""},
    {"edt_SearchPort", 98, 24, 53, 21, kSearchPortInitial},
    {"lblStatus", 12, kClientHeight, kClientWidth - 24, kStatusHeight, ""},
}};

// The index in kLayout of the member named `name`. Evaluated while
// compiling: a name the table does not hold stops the build.
consteval std::size_t IndexOf(std::string_view name) {
    for (std::size_t i = 0; i < kLayout.size(); ++i) {
        if (kLayout[i].name == name) return i;
    }
    throw "kLayout holds no member of that name";
}

// A member of the layout table, named in the code by its name: "lvSsid"
// converts to it while compiling, and a misspelt name does not compile.
class TMember {
public:
    consteval TMember(const char* name) : index_(IndexOf(name)) {}
    constexpr std::size_t Index() const { return index_; }
    constexpr const TPlace& Place() const { return kLayout[index_]; }
    friend constexpr bool operator==(TMember, TMember) = default;

private:
    std::size_t index_;
};

// The place of a member.
constexpr const TPlace& PlaceOf(TMember member) { return member.Place(); }

namespace detail {
template <std::size_t... I>
consteval std::array<TMember, sizeof...(I)> MembersOf(std::index_sequence<I...>) {
    return {TMember(kLayout[I].name)...};
}
}  // namespace detail

// Every member, in the table's order.
inline constexpr std::array<TMember, kLayout.size()> kMembers =
    detail::MembersOf(std::make_index_sequence<kLayout.size()>());

// The order Tab visits the members in; the focus starts on the first.
inline constexpr std::array<TMember, 4> kTabOrder{"btnSearch", "edtKey", "lvSsid", "edt_SearchPort"};

// Each caption and the box it names (for a screen reader, its label).
struct TCaption {
    TMember caption;
    TMember box;
};
inline constexpr std::array<TCaption, 2> kCaptions{{{"lbl_SearchPort", "edt_SearchPort"}, {"Key", "edtKey"}}};

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
