#include "foundation/DispatchQueueFactory.h"

namespace tallowmere {

std::unique_ptr<dispatch::SerialQueue> makeDispatchQueue(const std::string& label, QualityOfService qos) {
    return std::make_unique<dispatch::SerialQueue>(label, qos);
}

}  // namespace tallowmere
