// The minimal request handling that answers without any device.
#include "main/interim_handling.h"

#include <variant>
#include <vector>

namespace tarnix::host {

RequestHandling MakeInterimHandling() {
  RequestHandling handling;
  handling.handle = [](const protocol::Request& request) -> protocol::Outcome {
    if (std::holds_alternative<protocol::EnumerateDevices>(request)) {
      return protocol::Payload(std::vector<protocol::DeviceInfo>{});
    }
    if (std::holds_alternative<protocol::Close>(request) ||
        std::holds_alternative<protocol::Shutdown>(request)) {
      return protocol::Payload();
    }
    return protocol::RequestFailed("Not connected");
  };
  handling.release_worker = [] {};
  return handling;
}

}  // namespace tarnix::host
