// libFuzzer's entry points for one target, chosen by VORN_FUZZ_TARGET
// (and VORN_FUZZ_INIT, when the target needs setting up once).
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return VORN_FUZZ_TARGET(data, size);
}

#ifdef VORN_FUZZ_INIT
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  VORN_FUZZ_INIT();
  return 0;
}
#endif
