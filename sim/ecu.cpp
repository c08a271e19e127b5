// OBD-II answers and ISO-TP framing of the simulated ECU.
#include "sim/ecu.h"

#include <algorithm>

#include "passthru/numbers.h"

namespace tarnix::sim {
namespace {

constexpr uint8_t kPadding = 0xAA;
constexpr uint8_t kNegativeResponse = 0x7F;
constexpr uint8_t kServiceNotSupported = 0x11;

/// Service 01 PIDs the ECU supports, with their answer bytes.
struct Pid {
  uint8_t pid;
  std::vector<uint8_t> value;
};

const std::vector<Pid>& CurrentData() {
  static const std::vector<Pid> pids = {
      {0x05, {0x82}},        // coolant 90 degrees C
      {0x0C, {0x1A, 0xF8}},  // engine speed 1726 rpm
      {0x0D, {0x32}},        // vehicle speed 50 km/h
  };
  return pids;
}

std::vector<uint8_t> SupportedPids() {
  std::vector<uint8_t> mask(4, 0);
  for (const Pid& p : CurrentData()) {
    mask[(p.pid - 1) / 8] |= 0x80 >> ((p.pid - 1) % 8);
  }
  return mask;
}

bool IsRequestId(uint32_t id, bool extended) {
  if (extended) return id == 0x18DB33F1 || id == 0x18DA10F1;
  return id == 0x7DF || id == 0x7E0;
}

std::vector<uint8_t> Padded(std::vector<uint8_t> bytes) {
  bytes.resize(std::max<size_t>(bytes.size(), 8), kPadding);
  return bytes;
}

}  // namespace

std::vector<uint8_t> ObdAnswer(std::span<const uint8_t> request) {
  if (request.empty()) return {};
  const uint8_t service = request[0];
  std::vector<uint8_t> answer{static_cast<uint8_t>(service + 0x40)};
  if (service == 0x01 && request.size() == 2) {
    answer.push_back(request[1]);
    if (request[1] == 0x00) {
      const auto mask = SupportedPids();
      answer.insert(answer.end(), mask.begin(), mask.end());
      return answer;
    }
    for (const Pid& p : CurrentData()) {
      if (p.pid != request[1]) continue;
      answer.insert(answer.end(), p.value.begin(), p.value.end());
      return answer;
    }
  } else if (service == 0x09 && request.size() == 2 && request[1] == 0x02) {
    answer.insert(answer.end(), {0x02, 0x01});
    answer.insert(answer.end(), kVin.begin(), kVin.end());
    return answer;
  } else if (service == 0x3E && request.size() <= 2) {
    if (request.size() == 2 && (request[1] & 0x80) != 0) return {};  // response suppressed
    if (request.size() == 2) answer.push_back(request[1]);
    return answer;
  }
  return {kNegativeResponse, service, kServiceNotSupported};
}

std::vector<CanFrame> Ecu::Hear(uint32_t protocol, const CanFrame& frame) {
  if (!IsRequestId(frame.id, frame.extended)) return {};
  const uint32_t reply_id = frame.extended ? 0x18DAF110 : 0x7E8;
  if (protocol == passthru::kIso15765) {
    auto answer = ObdAnswer(frame.bytes);
    if (answer.empty()) return {};
    return {CanFrame{reply_id, frame.extended, std::move(answer)}};
  }
  if (frame.bytes.empty()) return {};
  const uint8_t pci = frame.bytes[0];
  if ((pci >> 4) == 3) {  // the tester's flow control releases the consecutive frames
    std::vector<CanFrame> released;
    released.swap(held_);
    return released;
  }
  const size_t length = pci & 0x0F;
  if ((pci >> 4) != 0 || length == 0 || length + 1 > frame.bytes.size()) return {};
  const auto answer = ObdAnswer(std::span(frame.bytes).subspan(1, length));
  held_.clear();
  if (answer.empty()) return {};
  return Segment(reply_id, frame.extended, answer);
}

std::vector<CanFrame> Ecu::Segment(uint32_t id, bool extended, const std::vector<uint8_t>& answer) {
  if (answer.size() <= 7) {
    std::vector<uint8_t> single{static_cast<uint8_t>(answer.size())};
    single.insert(single.end(), answer.begin(), answer.end());
    return {CanFrame{id, extended, Padded(std::move(single))}};
  }
  const size_t length = std::min<size_t>(answer.size(), 0xFFF);
  std::vector<uint8_t> first{static_cast<uint8_t>(0x10 | (length >> 8)),
                             static_cast<uint8_t>(length & 0xFF)};
  first.insert(first.end(), answer.begin(), answer.begin() + 6);
  uint8_t sequence = 1;
  for (size_t offset = 6; offset < length; offset += 7, sequence = (sequence + 1) & 0x0F) {
    std::vector<uint8_t> consecutive{static_cast<uint8_t>(0x20 | sequence)};
    const size_t end = std::min(length, offset + 7);
    consecutive.insert(consecutive.end(), answer.begin() + offset, answer.begin() + end);
    held_.push_back(CanFrame{id, extended, Padded(std::move(consecutive))});
  }
  return {CanFrame{id, extended, std::move(first)}};
}

}  // namespace tarnix::sim
