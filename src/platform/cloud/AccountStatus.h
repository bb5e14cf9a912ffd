#pragma once

namespace tallowmere::cloud {

enum class AccountStatus : int { couldNotDetermine = 0, available = 1, restricted = 2, noAccount = 3 };

}  // namespace tallowmere::cloud
