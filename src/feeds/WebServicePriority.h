#pragma once

#include <cstdint>

namespace tallowmere {

// Which session carries a request. `default_` is the default priority (the
// plain name is a keyword).
enum class WebServicePriority : std::uint8_t { default_ = 0, low = 1, background = 2 };

}  // namespace tallowmere
