#pragma once

namespace dorvane {

// dorvane-convert: converts one playlist to one target without the window and
// writes exactly the bytes the window's Save would write. Returns the exit
// status: 0 done, 1 a file could not be read or written, 2 wrong usage, 3 no
// channels in the input; with --send-to 5 not sent, 6 sent but not reloaded.
int runConvertCommand(int argc, char** argv);

} // namespace dorvane
