#include "support/FileDamage.h"

#include <fstream>
#include <random>
#include <sstream>

namespace tallowmere::test {

std::string readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void randomise(const std::filesystem::path& path, std::uintmax_t offset, std::uintmax_t length,
               std::uint32_t seed) {
    std::mt19937 generator(seed);
    std::string noise(length, '\0');
    for (char& c : noise) c = static_cast<char>(generator());
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(offset));
    file.write(noise.data(), static_cast<std::streamsize>(noise.size()));
}

}  // namespace tallowmere::test
