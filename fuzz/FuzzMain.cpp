// One libFuzzer program per target; the target's name comes from the build.
#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    return fuzz::Start() ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const fuzz::Run run = fuzz::TargetNamed(TOLVANE_FUZZ_TARGET);
    run(data, size);
    return 0;
}
