#pragma once
// The program's run on Windows: the backend, an empty application title and
// the main window until it closes. Every error on the way, the backend's own
// included, is shown before the program ends.
#include <functional>

// Returns the program's exit code: 0, or 1 after an error that ended it.
int runProgram(const std::function<void()>& installBackend);
