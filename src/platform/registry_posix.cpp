// No registry on Linux: the reader finds no keys, so discovery lists no interfaces here.
#include "platform/registry.h"

namespace tarnix::platform {
namespace {

class NoRegistry final : public RegistryReader {
 public:
  std::unique_ptr<RegistryKey> OpenLocalMachineKey(std::string_view, RegistryView) const override {
    return nullptr;
  }
};

}  // namespace

const RegistryReader& SystemRegistry() {
  static const NoRegistry registry;
  return registry;
}

Result<void> WriteLocalMachineValue(std::string_view, RegistryView, std::string_view,
                                    const RegistryValue&) {
  return Fail("this system has no registry");
}

Result<void> DeleteLocalMachineTree(std::string_view, RegistryView) {
  return Fail("this system has no registry");
}

}  // namespace tarnix::platform
