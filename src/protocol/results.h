#pragma once

// What the two exchanges make of a device's replies: the networks of a list
// reply and the verdict of a join result. All text is UTF-8.

#include <string>

#include "protocol/bytes.h"
#include "protocol/shown_name.h"

namespace melvorin {

// A network of a list reply: its SSID bytes as received, the text they read
// as (UTF-8), that text as people are shown it, and its signal strength in
// percent.
struct TNetwork {
    TIdBytes bytes;
    std::string text;
    ShownName shown;
    int strength = 0;
};

// What a join result says: offset 5 (the key) first, then offset 4 (the SSID).
enum class JoinVerdict { Accepted, KeyFormat, SsidNotFound };

// A join result: the device's verdict and the notice's text for it.
struct TJoinResult {
    JoinVerdict verdict = JoinVerdict::Accepted;
    std::string text;
};

}  // namespace melvorin
