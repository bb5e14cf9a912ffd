#pragma once

namespace tallowmere::desktop {

// The desktop's light or dark style.
enum class Appearance { light, dark };

}  // namespace tallowmere::desktop
