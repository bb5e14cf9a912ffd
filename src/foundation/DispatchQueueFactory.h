#pragma once

#include <memory>
#include <string>

#include "platform/dispatch/SerialQueue.h"

namespace tallowmere {

using dispatch::QualityOfService;

// The one way every labelled serial queue of the program is made: a new serial
// queue, active at once, with the label and quality of service given.
std::unique_ptr<dispatch::SerialQueue> makeDispatchQueue(const std::string& label, QualityOfService qos);

}  // namespace tallowmere
