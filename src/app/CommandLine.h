#pragma once
// The program's options that run without a window: "--help" and "--export OUT
// FILE...", which merges the files exactly as the window's export does.

#include <optional>

namespace ML
{
// The exit status when the arguments ask for a run without a window, else nothing
// (the window starts).
std::optional<int> runWithoutWindow(int argc, char** argv);
} // namespace ML
