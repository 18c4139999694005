// Process entry: one executable, three modes chosen by a word on the command line.
#include <string>

#include "AppKit/AppKit.h"
#include "Kernel/CommandLine.h"
#include "regression/RegressionEntry.h"

int main(int argc, char const* const* argv) {
    int result;
    {
        Kernel::CommandLineArguments arguments(argc, argv);
        // The runner is asked first: a command line holding both words runs the runner.
        if (arguments.HasValue(std::string("regression"), std::string("regression")))
            result = RegressionMain(argc, argv);
        else if (arguments.HasValue(std::string("regressionunit"), std::string("regressionunit")))
            result = RunRegressionUnit(argc, argv);
        else
            result = NSApplicationMain(argc, argv);
    }
    return result;
}
#include "app/UnitStatics.h"
