#pragma once

namespace tallowmere::cloud {

// The error codes of the cloud layer. The numbers are stable: callers keep
// tables of them (which codes are passing, which mean "try again later").
enum class ErrorCode : int {
    partialFailure = 2,       // some items failed: see Error::partialErrorsByItemID
    networkFailure = 4,
    serviceUnavailable = 6,   // the backing cannot be reached or read
    requestRateLimited = 7,
    notAuthenticated = 9,     // no account
    permissionFailure = 10,
    unknownItem = 11,         // no such record
    invalidArguments = 12,    // bad field name, cursor, predicate ...
    serverRecordChanged = 14, // the record changed since it was fetched
    operationCancelled = 20,
    zoneBusy = 23,
    limitExceeded = 27,       // a record over the size limit
};

}  // namespace tallowmere::cloud
