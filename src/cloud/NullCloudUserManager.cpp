#include "cloud/NullCloudUserManager.h"

#include <utility>

#include "cloud/BackgroundCompletion.h"
#include "foundation/DispatchQueueFactory.h"

namespace tallowmere {

NullCloudUserManager::NullCloudUserManager()
    : userRecordQueue_(makeDispatchQueue(userRecordQueueLabel, QualityOfService::userInitiated)),
      guidRecordQueue_(makeDispatchQueue(guidRecordQueueLabel, QualityOfService::userInitiated)) {}

void NullCloudUserManager::feedNotificationSettings(const std::string&, NotificationSettingsCompletion completion) {
    completeInBackground(std::move(completion), false, NewsletterType::none);
}

void NullCloudUserManager::addFeed(std::vector<CloudFeedEntry>, Completion completion) {
    completeInBackground(std::move(completion));
}

void NullCloudUserManager::saveUserFeeds(Completion completion) { completeInBackground(std::move(completion)); }

void NullCloudUserManager::saveNotificationFeedLists(std::optional<cloud::Date>, Completion completion) {
    completeInBackground(std::move(completion));
}

void NullCloudUserManager::fetchCloudFeeds(Completion completion) { completeInBackground(std::move(completion)); }

void NullCloudUserManager::saveAllFeedLists(Completion completion) { completeInBackground(std::move(completion)); }

void NullCloudUserManager::syncFeeds(Completion completion) { completeInBackground(std::move(completion)); }

void NullCloudUserManager::checkCloudAvailability(AvailabilityCompletion completion) {
    completeInBackground(std::move(completion), std::optional<bool>(false));
}

void NullCloudUserManager::fetchUserRecord(UserRecordCompletion completion) {
    completeInBackground(std::move(completion), std::optional<cloud::Record>(), std::optional<UserInfo>(),
                         std::optional<cloud::Error>());
}

void NullCloudUserManager::getGUID(TextCompletion completion) {
    completeInBackground(std::move(completion), std::optional<std::string>());
}

void NullCloudUserManager::getEmail(TextCompletion completion) {
    completeInBackground(std::move(completion), std::optional<std::string>());
}

void NullCloudUserManager::setEmail(std::optional<std::string>, SuccessCompletion completion) {
    completeInBackground(std::move(completion), false);
}

void NullCloudUserManager::getNewsletterDailyDate(DateCompletion completion) {
    completeInBackground(std::move(completion), std::optional<cloud::Date>());
}

}  // namespace tallowmere
