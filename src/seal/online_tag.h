// The tag of a sealed join's online announcement (docs/sealed-join.md).
#pragma once

#include "protocol/online.h"
#include "seal/hpke.h"

namespace melvorin::seal {

// Whether a sealed announcement carries the tag of the sealed join `sender`
// made for its hardware and IPv4 addresses: HPKE Export("melvorin online"
// || mac || ipv4, 16). The announcement's token says which of its sealed
// joins a station asks about; a clear announcement is never tagged.
bool OnlineIsTagged(const Sender& sender, const TOnline& online);

}  // namespace melvorin::seal
