// An input file's ownership, the same on every system: the handle closes itself.
#include "platform/files.h"

namespace tarnix::platform {

InputFile::InputFile(InputFile&&) noexcept = default;
InputFile& InputFile::operator=(InputFile&&) noexcept = default;
InputFile::~InputFile() = default;

}  // namespace tarnix::platform
