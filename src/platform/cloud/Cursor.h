#pragma once

#include <string>

namespace tallowmere::cloud {

// Where a query stopped. Opaque to callers; it remembers its query and the
// position after the last record handed out (not an offset), so records
// inserted between pages cause neither duplicates nor gaps. Its text form
// may be kept and handed back later; text of another kind is refused with
// "invalid arguments".
class Cursor {
public:
    explicit Cursor(std::string token) : token_(std::move(token)) {}
    const std::string& token() const { return token_; }

private:
    std::string token_;
};

}  // namespace tallowmere::cloud
