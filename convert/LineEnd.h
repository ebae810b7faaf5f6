#pragma once

namespace dorvane {

// What ends each line of a target's files.
enum class LineEnd { CrLf, Lf };

} // namespace dorvane
