// decode_bench: prints the request decoder's figures beside their yardsticks; judges nothing.
//
// Usage: decode_bench [scale]   (line sizes times scale; default 1: lines of 1 to 8 MB)
#include <cstdio>
#include <cstdlib>

#include "decode_bench.h"
#include "samples.h"

int main(int argc, char** argv) {
  const double scale = argc > 1 ? std::atof(argv[1]) : 1.0;
  if (!(scale > 0)) {
    std::fprintf(stderr, "usage: decode_bench [scale > 0]\n");
    return 2;
  }
  tarnix::bench::PrintTable(tarnix::bench::RunDecodeBench(scale));
  return 0;
}
