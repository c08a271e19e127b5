// The shape declared for the calling thread's ioctls.
#include "j2534/ioctl_shape.h"

namespace tarnix::j2534 {
namespace {

thread_local const trace::IoctlShape* t_shape = nullptr;

}  // namespace

IoctlShapeScope::IoctlShapeScope(const trace::IoctlShape& shape) : previous_(t_shape) {
  t_shape = &shape;
}

IoctlShapeScope::~IoctlShapeScope() {
  t_shape = previous_;
}

const trace::IoctlShape* CurrentIoctlShape() {
  return t_shape;
}

}  // namespace tarnix::j2534
