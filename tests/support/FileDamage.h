#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace tallowmere::test {

// Whole contents of a file, to show that a damaged file was set aside unchanged.
std::string readBytes(const std::filesystem::path& path);

// Overwrites `length` bytes at `offset` with noise from a fixed seed.
void randomise(const std::filesystem::path& path, std::uintmax_t offset, std::uintmax_t length,
               std::uint32_t seed);

}  // namespace tallowmere::test
