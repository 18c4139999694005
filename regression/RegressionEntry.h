// The two regression entry points that the process entry hands the process to.
#pragma once

// The runner: finds the units below the working directory and runs each in a child.
int RegressionMain(int argc, char const* const* argv);

// The unit executor: runs one unit in this process; 0 when it passed, else -1.
int RunRegressionUnit(int argc, char const* const* argv);
