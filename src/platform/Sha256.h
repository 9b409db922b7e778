#pragma once
// SHA-256 (FIPS 180-4) of a byte buffer, for naming what a firmware image
// holds. Small and dependency-free; not meant for large streams.
//
// Thread contract: none needed.

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace velmora {

std::array<std::uint8_t, 32> Sha256(std::span<const std::uint8_t> data);
// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::span<const std::uint8_t> data);

} // namespace velmora
