#pragma once

namespace dorvane {
// Starts the desktop program and runs it until its window closes.
int runApplication(int argc, char** argv);
} // namespace dorvane
