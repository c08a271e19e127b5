// A test's own temporary folder, removed with everything in it when the test is done.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

namespace tarnix::test_support {

/// A fresh, empty folder below the system's temporary folder, named tarnix-<tag>-<number>, that
/// only this user may enter (mode 0700 on Linux). The
/// destructor removes it with its content, so a test that fails half-way (an assertion that
/// returns early, an exception) leaves nothing behind. Make it outlive whatever writes into it:
/// declare it before the process or library that does.
class TempFolder {
 public:
  /// `tag` (UTF-8) says in the folder's name which test made it.
  explicit TempFolder(std::string_view tag = "test") {
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    const std::u8string prefix = u8"tarnix-" + std::u8string(tag.begin(), tag.end()) + u8"-";
    std::random_device random;
    // create_directory is false when the name exists: another test's, or a leftover of a test
    // that crashed. Either way the next number is tried, so two processes never share a folder.
    do {
      const std::string number = std::to_string(random());
      path_ = base / (prefix + std::u8string(number.begin(), number.end()));
    } while (!std::filesystem::create_directory(path_));
    // Only this user may enter it, as a client's folder for its bridge's socket must be.
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  const std::filesystem::path& path() const { return path_; }

  /// The UTF-8 path of `name` inside the folder.
  std::string File(std::string_view name) const {
    return Utf8(path_ / std::u8string(name.begin(), name.end()));
  }

  /// The folder's UTF-8 path with a trailing separator.
  std::string Prefix() const { return Utf8(path_ / ""); }

 private:
  static std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
  }

  std::filesystem::path path_;
};

}  // namespace tarnix::test_support
