#include "seal/online_tag.h"

#include <algorithm>
#include <string_view>

namespace melvorin::seal {

bool OnlineIsTagged(const Sender& sender, const TOnline& online) {
  if (!online.sealed) return false;
  constexpr std::string_view kLabel = "melvorin online";
  Bytes context(kLabel.begin(), kLabel.end());
  context.insert(context.end(), online.mac.begin(), online.mac.end());
  context.insert(context.end(), online.ipv4.begin(), online.ipv4.end());
  const Bytes tag = sender.export_secret(context, kTagSize);
  return std::equal(tag.begin(), tag.end(), online.tag.begin(), online.tag.end());
}

}  // namespace melvorin::seal
