#include "units/makers.h"

// PLACEHOLDER while the registry reader is written on its own branch: it
// must replace this file before anything merges into main.

namespace melvorin::units {

struct Makers::Table {};

Makers::Makers(std::string folder) : folder_(std::move(folder)) {}
Makers::~Makers() = default;

std::optional<std::string> Makers::MakerOf(const HardwareAddress&) { return std::nullopt; }

std::string Makers::DefaultFolder() { return "/usr/share/ieee-data"; }

}  // namespace melvorin::units
