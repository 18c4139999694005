// Stand-in until the unit executor is built.
#include <cstdio>

#include "regression/RegressionEntry.h"

int RunRegressionUnit(int, char const* const*) {
    std::fputs("quirevale: the regression unit executor is not built yet.\n", stderr);
    return -1;  // the unit executor's failure status
}
