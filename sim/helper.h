// The one entry point of ptsim's helper DLL, which the helper variant imports: loading that variant
// succeeds only where its own folder is searched for the DLLs it imports.
#pragma once

#include <cstdint>

#if defined(_WIN32) && defined(PTSIM_BUILDING_HELPER)
#define PTSIM_HELPER_API __declspec(dllexport)
#elif defined(_WIN32)
#define PTSIM_HELPER_API __declspec(dllimport)
#else
#define PTSIM_HELPER_API __attribute__((visibility("default")))
#endif

namespace tarnix::sim {

/// What PtsimHelperAnswer answers.
inline constexpr uint32_t kHelperAnswer = 2534;

}  // namespace tarnix::sim

/// Answers kHelperAnswer.
extern "C" PTSIM_HELPER_API uint32_t PtsimHelperAnswer();
