#pragma once
// A fresh directory below the system's temporary directory, removed with everything in it
// when the object goes out of scope.

#include <string>

namespace testsupport {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // Path() + "/" + name.
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Writes `contents` to `path` (binary), creating or truncating it; throws on failure.
void WriteFile(const std::string& path, const std::string& contents);
// The whole file, or throws.
std::string ReadFile(const std::string& path);

}  // namespace testsupport
