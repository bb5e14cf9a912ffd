#include "support/TempDir.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tallowmere::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tallowmere-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path fixturePath(const std::string& relative) {
    return std::filesystem::path(TALLOWMERE_FIXTURES_DIR) / relative;
}

std::string readFixture(const std::string& relative) {
    std::ifstream in(fixturePath(relative), std::ios::binary);
    if (!in) throw std::runtime_error("missing fixture " + relative);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace tallowmere::test
