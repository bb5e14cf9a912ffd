#include "service/JSONCodingError.h"

namespace tallowmere {

std::string JSONCodingError::description() const {
    switch (kind_) {
        case Kind::dataCorrupted: return "the data is not readable JSON: " + detail_;
        case Kind::keyNotFound: return "no value for the key " + detail_;
        case Kind::valueNotFound: return "null where a value is required for the key " + detail_;
        case Kind::typeMismatch: return "a value of another kind for the key " + detail_;
        case Kind::invalidValue: return "a value JSON cannot hold: " + detail_;
    }
    return detail_;
}

}  // namespace tallowmere
