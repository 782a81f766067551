#pragma once
// Filling a drive map from the system's logical drives; the module's map and tests use it.
#include "paths/PathConverter.h"

namespace PathConverter {

// How often the drive list is read when it keeps growing between asking for its size and
// reading it, before the build gives up.
inline constexpr int kDriveListReads = 4;

// Empties `map`, then appends one entry per logical drive whose device query answers, in the
// order of the drive list. True if and only if `map` holds an entry afterwards.
bool RefillDriveMap(DriveMap& map);

}  // namespace PathConverter
