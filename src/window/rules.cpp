#include "window/rules.h"

#include "protocol/cp936.h"
#include "protocol/hex.h"
#include "protocol/shown_name.h"
#include "window/texts.h"

namespace melvorin::window {

TKeyVerdict SearchPortKey(char16_t key) {
    return key == 8 || (key >= u'0' && key <= u'9') ? TKeyVerdict::Keep : TKeyVerdict::Beep;
}

TKeyVerdict KeyBoxKey(char16_t key) { return key >= 160 ? TKeyVerdict::Drop : TKeyVerdict::Keep; }

int RowToJoinOnEnter(int selectedRow, int currentRow) { return selectedRow >= 0 ? selectedRow : currentRow; }

std::string MakeApplicationTitle(const std::string& programPath,
                                 const std::function<std::string(const std::string&)>& lower) {
    const std::size_t slash = programPath.find_last_of("/\\");
    std::string name = slash == std::string::npos ? programPath : programPath.substr(slash + 1);
    name = name.substr(0, name.find('.'));
    if (name.empty()) return name;
    // The first character: one lead byte and its continuation bytes.
    std::size_t first = 1;
    while (first < name.size() && (static_cast<unsigned char>(name[first]) & 0xC0) == 0x80) ++first;
    return name.substr(0, first) + lower(name.substr(first));
}

namespace {
std::string& TitleStore() {
    static std::string title;
    return title;
}
}  // namespace

void SetApplicationTitle(const std::string& title) { TitleStore() = title; }

const std::string& ApplicationTitle() { return TitleStore(); }

std::string NoticeClipboardText(const std::string& caption, const std::string& text, const std::string& button) {
    const std::string rule(27, '-');
    std::string out;
    for (const std::string* part : {&rule, &caption, &rule, &text, &rule, &button, &rule}) {
        out += *part + "\n";
    }
    return out;
}

TShownRow ShowRow(const TNetwork& network) {
    const ShownName& shown = network.shown;
    TShownRow row{shown.text, std::to_string(network.strength) + "%", {shown.text}};
    if (NeedsBytes(shown, network.bytes)) {
        row.tip.push_back(Format(MLV_TR("NetworkList", "Bytes: %1"), {Hex(network.bytes, ' ')}));
    }
    if (const auto other = OtherReading(network.bytes)) {
        row.tip.push_back(Format(MLV_TR("NetworkList", "Also reads as: %1"), {ShowName(*other).text}));
    }
    return row;
}

}  // namespace melvorin::window
