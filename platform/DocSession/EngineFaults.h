// Failures the stand-in engine can be told to make on purpose, so that the regression tools'
// failure paths can be run: the environment variable QUIREVALE_ENGINE_FAULT holds a
// comma-separated list of
//   crash        the first render ends the process with an abort signal
//   leak         the first render keeps one spread bitmap for the rest of the process
//   assert       the first render raises an engine assertion
//   slow[:ms]    every render takes ms milliseconds longer (default 200)
// Only the engine reads the variable.
#pragma once
#include <cstdint>
#include <string>

namespace EngineFaults {

struct Faults {
    bool crash = false;
    bool leak = false;
    bool assertion = false;
    uint32_t slowMilliseconds = 0;
};

// Parses a variable's text; unknown words are ignored.
Faults Parse(const std::string& text);

// The faults of this process, read once from the environment.
const Faults& Current();

// Replaces what Current answers (tests).
void SetForTesting(const Faults& faults);

}  // namespace EngineFaults
