#pragma once

#include <string>
#include <utility>

namespace tallowmere {

// Why a request to the backend gave no decoded reply.
class TallowmereServiceError {
public:
    explicit TallowmereServiceError(std::string description) : description_(std::move(description)) {}
    const std::string& description() const { return description_; }

private:
    std::string description_;
};

}  // namespace tallowmere
