#include "feeds/NullArticlePrefetching.h"

#include <utility>

#include "cloud/BackgroundCompletion.h"

namespace tallowmere {

void NullArticlePrefetching::prefetch(const Article&, WebServicePriority, Completion completion) {
    completeInBackground(std::move(completion), false);
}

}  // namespace tallowmere
