#pragma once

namespace tallowmere::cloud {

// The public database is shared by every account; each account has a
// private one of its own.
enum class DatabaseScope : int { publicScope = 1, privateScope = 2 };

}  // namespace tallowmere::cloud
