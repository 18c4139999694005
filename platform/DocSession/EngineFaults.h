// Failures the stand-in engine can be told to make on purpose, so that the regression tools'
// failure paths can be run: the environment variable QUIREVALE_ENGINE_FAULT holds a
// comma-separated list of
//   crash        the first render ends the process with an abort signal
//   leak         the first render keeps one spread bitmap for the rest of the process
//   assert       the first render raises an engine assertion
//   slow[:ms]    every render takes ms milliseconds longer (default 200)
//   full         every document, baseline or metric file the engine saves fails as on a
//                full disk ("No space left on device"), and nothing is written
//   nomemory:step[:n]
//                the n-th (default first) step of that kind, counted from when the faults
//                apply, runs out of memory before it changes anything; no other step does.
//                step is render (any document's render, a snapshot's too), undo or redo (the
//                history moved back or forward), macro (the document's macro replayed),
//                tilestore (alike tiles shared) or teardown (the history cut to the stack limit)
// QUIREVALE_ENGINE_FAULT_UNIT, when not empty, holds a document's file name (no folder): the
// faults then apply only in a process that has loaded a document of that name, from that load
// on, so that one unit of a suite can fail while its neighbours, run by the same environment,
// stay clean.
// Only the engine reads the variables.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace EngineFaults {

struct Faults {
    bool crash = false;
    bool leak = false;
    bool assertion = false;
    uint32_t slowMilliseconds = 0;
    bool full = false;
    std::string noMemoryStep;  // empty: none runs out
    uint32_t noMemoryAt = 0;   // which one of its kind, from 1
    std::string unit;  // empty: every process
};

// Parses a variable's text; unknown words are ignored.
Faults Parse(const std::string& text);

// The faults in force now: those of the environment (read once), or none while they wait for
// their unit's document.
const Faults& Current();

// The engine has loaded a document from path.
void NoteDocumentLoaded(const std::string& path);

// The engine is about to take a step of this kind (a word of nomemory): throws std::bad_alloc
// when it is the one the faults name.
void Step(std::string_view step);

// Saves a file of the engine by write-then-rename; false with the reason when it failed.
bool SaveFile(const std::string& path, std::string_view data, std::string& reason);

// Replaces the faults of the environment (tests); faults tied to a unit wait for it again, and
// steps are counted anew.
void SetForTesting(const Faults& faults);

}  // namespace EngineFaults
