// An append-only file's ownership, the same on every system: the handle closes itself.
#include "platform/append_file.h"

namespace tarnix::platform {

AppendFile::AppendFile(AppendFile&&) noexcept = default;
AppendFile& AppendFile::operator=(AppendFile&&) noexcept = default;
AppendFile::~AppendFile() = default;

}  // namespace tarnix::platform
