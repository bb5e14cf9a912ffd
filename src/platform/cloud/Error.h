#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/cloud/ErrorCode.h"
#include "platform/cloud/Record.h"

namespace tallowmere::cloud {

// What went wrong with a cloud operation. A partial failure (code 2) lists
// the error of each failed item under its ID (record name or subscription
// ID); a "server record changed" error (code 14) carries the record as the
// server holds it.
struct Error {
    ErrorCode code = ErrorCode::serviceUnavailable;
    std::string description;
    // Seconds to wait before trying again, when the backing knows.
    std::optional<double> retryAfterSeconds;
    std::vector<std::pair<std::string, Error>> partialErrorsByItemID;
    std::shared_ptr<const Record> serverRecord;

    // Declared here and defined with the class complete: the list of item
    // errors holds the type itself, which an implicit member would need
    // complete too early.
    Error();
    Error(const Error&);
    Error(Error&&) noexcept;
    Error& operator=(const Error&);
    Error& operator=(Error&&) noexcept;
    ~Error();

    static Error make(ErrorCode code, std::string description);
    static Error cancelled();
    static Error notAuthenticated();

    int codeValue() const { return static_cast<int>(code); }
    // The error of one item of a partial failure; nothing when that item
    // did not fail.
    const Error* partialError(std::string_view itemID) const;
    // "cloud error 14 (server record changed): <description>"
    std::string textualDescription() const;
};

}  // namespace tallowmere::cloud
