// Stand-ins until the runner and the unit executor are built.
#include <cstdio>

#include "regression/RegressionEntry.h"

int RegressionMain(int, char const* const*) {
    std::fputs("quirevale: the regression runner is not built yet.\n", stderr);
    return 1;
}

int RunRegressionUnit(int, char const* const*) {
    std::fputs("quirevale: the regression unit executor is not built yet.\n", stderr);
    return -1;  // the unit executor's failure status
}
