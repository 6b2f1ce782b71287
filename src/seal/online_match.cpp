#include "seal/online_match.h"

#include "seal/online_tag.h"

namespace melvorin::seal {

OnlineMatch MatchOnline(const JoinedUnit& unit, const TOnline& online) {
  if (online.mac != unit.mac) return OnlineMatch::NotOurs;
  if (!unit.sender) return online.sealed ? OnlineMatch::NotOurs : OnlineMatch::Ours;
  // A unit that took the sealed join tags its announcement: a clear one with
  // its address is not the unit's. One with another token speaks of another
  // station's join.
  if (online.sealed && online.token != unit.token) return OnlineMatch::NotOurs;
  return OnlineIsTagged(*unit.sender, online) ? OnlineMatch::Ours : OnlineMatch::Forged;
}

}  // namespace melvorin::seal
