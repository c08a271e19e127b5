// The helper DLL of ptsim's helper variant: a library of the vendor's own that the variant imports
// and that is installed only beside it, in the variant's folder.
#include "sim/helper.h"

extern "C" PTSIM_HELPER_API uint32_t PtsimHelperAnswer() {
  return tarnix::sim::kHelperAnswer;
}
