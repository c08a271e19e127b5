// What the caller of an ioctl declared its input and output to be, for the trace of the ioctls
// it does not know by id.
#pragma once

#include "trace/arguments.h"

namespace tarnix::j2534 {

/// While it lives, the PassThruIoctl calls of the calling thread are recorded with `shape`.
class IoctlShapeScope {
 public:
  explicit IoctlShapeScope(const trace::IoctlShape& shape);
  ~IoctlShapeScope();
  IoctlShapeScope(const IoctlShapeScope&) = delete;
  IoctlShapeScope& operator=(const IoctlShapeScope&) = delete;

 private:
  const trace::IoctlShape* previous_;
};

/// The shape declared for the calling thread's ioctls, or null.
const trace::IoctlShape* CurrentIoctlShape();

}  // namespace tarnix::j2534
