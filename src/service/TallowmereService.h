#pragma once

#include <functional>
#include <optional>

#include "feeds/WebServiceFailure.h"
#include "platform/http/HTTPTask.h"
#include "service/TallowmereAddFeedsResponse.h"
#include "service/TallowmereDiscovery.h"
#include "service/TallowmereServiceError.h"
#include "service/TallowmereUserGUIDResponse.h"

namespace tallowmere {

// Turns the web layer's answer to a backend request into a reply model or an
// error, by one rule for every reply:
// - an error decides, whatever data came with it: HTTP 401, 404 and 409 map
//   to their cases, anything else (another status, a network failure, a
//   time-out, a cancellation) to unknown;
// - neither error nor data is unknown;
// - data that does not read as the model is logged ("json decoding error: ")
//   and reported as nothing at all: the backend did accept the request.
// Stateless; the handlers may run on several threads at once, and each calls
// its completion exactly once, on the calling thread.
class TallowmereService {
public:
    template <typename Model>
    using Completion = std::function<void(std::optional<Model> model, std::optional<TallowmereServiceError> error)>;

    static void handleAddFeedsResponse(std::optional<http::Bytes> data, std::optional<WebServiceFailure> error,
                                       const Completion<TallowmereAddFeedsResponse>& completion);
    static void handleUserGUIDResponse(std::optional<http::Bytes> data, std::optional<WebServiceFailure> error,
                                       const Completion<TallowmereUserGUIDResponse>& completion);
    static void handleDiscoveryResponse(std::optional<http::Bytes> data, std::optional<WebServiceFailure> error,
                                        const Completion<TallowmereDiscovery>& completion);

    static TallowmereServiceError errorFor(const WebServiceFailure& failure);

private:
    template <typename Model>
    static void handle(const std::optional<http::Bytes>& data, const std::optional<WebServiceFailure>& error,
                       const Completion<Model>& completion);
};

}  // namespace tallowmere
