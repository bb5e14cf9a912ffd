#include "service/TallowmereService.h"

#include <string_view>

#include "foundation/Logger.h"
#include "service/JSONCoding.h"

namespace tallowmere {

TallowmereServiceError TallowmereService::errorFor(const WebServiceFailure& failure) {
    using Code = TallowmereServiceError::Code;
    switch (failure.statusCode().value_or(0)) {
        case 401: return Code::userNotAuthorized;
        case 404: return Code::userNotFound;
        case 409: return Code::userConflict;
        default: return Code::unknown;
    }
}

template <typename Model>
void TallowmereService::handle(const std::optional<http::Bytes>& data, const std::optional<WebServiceFailure>& error,
                               const Completion<Model>& completion) {
    if (error) {
        completion(std::nullopt, errorFor(*error));
        return;
    }
    if (!data) {
        completion(std::nullopt, TallowmereServiceError::Code::unknown);
        return;
    }
    const std::string_view text(reinterpret_cast<const char*>(data->data()), data->size());
    auto document = JSONCoding::read(text);
    auto model = document.ok() ? Model::decode(document.value()) : JSONCodingResult<Model>(document.error());
    if (!model.ok()) {
        Logger::error([&] { return "json decoding error: " + model.error().description(); });
        completion(std::nullopt, std::nullopt);
        return;
    }
    completion(std::move(model).value(), std::nullopt);
}

void TallowmereService::handleAddFeedsResponse(std::optional<http::Bytes> data, std::optional<WebServiceFailure> error,
                                               const Completion<TallowmereAddFeedsResponse>& completion) {
    handle(data, error, completion);
}

void TallowmereService::handleUserGUIDResponse(std::optional<http::Bytes> data, std::optional<WebServiceFailure> error,
                                               const Completion<TallowmereUserGUIDResponse>& completion) {
    handle(data, error, completion);
}

void TallowmereService::handleDiscoveryResponse(std::optional<http::Bytes> data, std::optional<WebServiceFailure> error,
                                                const Completion<TallowmereDiscovery>& completion) {
    handle(data, error, completion);
}

}  // namespace tallowmere
