#pragma once

#include <filesystem>
#include <string>

namespace tallowmere::test {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Path of a file under tests/fixtures.
std::filesystem::path fixturePath(const std::string& relative);
// Whole contents of a fixture file.
std::string readFixture(const std::string& relative);

}  // namespace tallowmere::test
