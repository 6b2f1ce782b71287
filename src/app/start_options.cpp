#include "app/start_options.h"

#include <cstddef>
#include <cstring>
#include <string_view>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace melvorin::app {

StartOptions ParseStartOptions(int argc, const char* const* argv) {
    StartOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--show-secrets") {
            options.showSecrets = true;
        }
    }
    return options;
}

namespace {

bool Set(const char* value) { return value != nullptr && *value != '\0'; }

// Connects to a local X server's socket: the abstract one first, then the
// one in /tmp/.X11-unix.
bool XServerAnswers(const std::string& number) {
    const std::string path = "/tmp/.X11-unix/X" + number;
    if (path.size() >= sizeof(sockaddr_un::sun_path)) {
        return false;  // no socket has so long a name
    }
    for (const bool abstract : {true, false}) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            return true;  // cannot tell: leave it to Qt
        }
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        const std::size_t offset = abstract ? 1 : 0;
        std::memcpy(address.sun_path + offset, path.data(), path.size());
        const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
        const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
        close(fd);
        if (ok) {
            return true;
        }
    }
    return false;
}

bool XDisplayUsable(std::string_view display) {
    const std::size_t colon = display.rfind(':');
    if (colon == std::string_view::npos) {
        return false;
    }
    const std::string_view host = display.substr(0, colon);
    std::string_view number = display.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    if (number.empty() || number.find_first_not_of("0123456789") != std::string_view::npos) {
        return false;
    }
    const bool local = host.empty() || host == "unix" || host.ends_with("/unix");
    return !local || XServerAnswers(std::string(number));
}

}  // namespace

DisplayState CheckDisplay(const GetEnv& env) {
    const char* display = env("DISPLAY");
    const bool wayland = Set(env("WAYLAND_DISPLAY"));
    bool wantsX = true;
    bool wantsWayland = true;
    if (const char* platform = env("QT_QPA_PLATFORM"); Set(platform)) {
        // "name[:options]", several separated by ';': usable when any is.
        wantsX = wantsWayland = false;
        std::string_view rest = platform;
        while (!rest.empty()) {
            std::string_view name = rest.substr(0, rest.find(';'));
            rest = name.size() < rest.size() ? rest.substr(name.size() + 1) : std::string_view();
            name = name.substr(0, name.find(':'));
            if (name == "xcb") {
                wantsX = true;
            } else if (name.starts_with("wayland")) {
                wantsWayland = true;
            } else if (!name.empty()) {
                return DisplayState::Usable;
            }
        }
    }
    if (wantsWayland && wayland) {
        return DisplayState::Usable;
    }
    if (wantsX && Set(display)) {
        return XDisplayUsable(display) ? DisplayState::Usable : DisplayState::Unreachable;
    }
    return DisplayState::NotSet;
}

}  // namespace melvorin::app
