#include "protocol/state.h"

namespace melvorin {

namespace {
ExchangeState g_state;
}  // namespace

ExchangeState& State() { return g_state; }

void ReleaseState() { g_state = ExchangeState{}; }

}  // namespace melvorin
