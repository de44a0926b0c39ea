#pragma once

#include <QStringList>
#include <cstdio>

namespace veruziva::meter {

// Exit statuses of veruziva-meter.
inline constexpr int ExitSuccess = 0;
inline constexpr int ExitFailure = 1;   // output could not be written
inline constexpr int ExitBadInput = 2;  // bad usage or unreadable input

// Runs the tool with its arguments (without the program name), writing results to `out`
// and messages to `err`. Returns the exit status.
int RunMeterTool(const QStringList& arguments, std::FILE* out, std::FILE* err);

}  // namespace veruziva::meter
