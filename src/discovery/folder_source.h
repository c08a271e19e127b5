// The Linux registration source: one JSON file per interface in a folder.
#pragma once

#include <optional>
#include <string>

#include "discovery/registration.h"

namespace tarnix::discovery {

/// The registrations in the "*.json" files of one folder (on Linux $HOME/.passthru), in the
/// order of their file names, each read by ParseRegistrationFile with the file name less ".json"
/// as its own name. A file that cannot be read, is no regular file (a FIFO, a device), is larger
/// than kMaxRegistrationFileBytes or does not parse is skipped; hidden files (a name starting with
/// ".") are not read. No folder, or one that cannot be listed, holds no registrations. Names
/// libraries as ELF images.
class FolderSource final : public RegistrationSource {
 public:
  explicit FolderSource(std::optional<std::string> folder) : folder_(std::move(folder)) {}

  std::vector<Registration> Read() const override;
  ImageFormat LibraryFormat() const override { return ImageFormat::kElf; }

 private:
  std::optional<std::string> folder_;
};

/// $HOME/.passthru; nullopt when HOME is unset or empty.
std::optional<std::string> HomeRegistrationFolder();

}  // namespace tarnix::discovery
