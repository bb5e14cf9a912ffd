#pragma once

namespace tallowmere {

// Start-up: puts the cloud managers that work over the process's container
// in place of the signed-out stand-ins. With no cloud configured the
// container answers "not authenticated" and everything stays on this device.
class CloudManagers {
public:
    static void installShared();
};

}  // namespace tallowmere
