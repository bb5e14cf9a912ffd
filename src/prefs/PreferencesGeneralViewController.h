#pragma once

#include <string>
#include <utility>
#include <vector>

#include "prefs/PreferencesContentViewController.h"
#include "store/FeedsRefreshInterval.h"
#include "store/SelectedFeedAtLaunch.h"
#include "themes_core/ThemeType.h"

class QCheckBox;
class QComboBox;

namespace tallowmere {

// The first pane: theme, the sidebar entry selected at start, the refresh
// interval, the launcher badge, the full-article default and the cloud
// switch. Each control writes its setting at once; the controls show the
// settings as they were when the pane was built.
class PreferencesGeneralViewController : public PreferencesContentViewController {
    Q_OBJECT
public:
    static constexpr const char* tableName = "PreferencesGeneralViewController";
    static constexpr int height = 210;

    template <typename T>
    using Entries = std::vector<std::pair<std::string, T>>;

    // The entries of the three pop-ups, in order: (text key, value).
    static Entries<ThemeType> themeEntries();
    static Entries<SelectedFeedAtLaunch> selectedFeedAtLaunchEntries();
    static Entries<FeedsRefreshInterval> feedsRefreshIntervalEntries();

    explicit PreferencesGeneralViewController(QObject* parent = nullptr);

    QComboBox* themePopUp() const { return themePopUp_; }
    QComboBox* selectedFeedAtLaunchPopUp() const { return selectedFeedAtLaunchPopUp_; }
    QComboBox* feedsRefreshIntervalPopUp() const { return feedsRefreshIntervalPopUp_; }
    QCheckBox* showUnreadArticlesCountBadgeCheckBox() const { return badgeCheckBox_; }
    QCheckBox* alwaysShowFullArticleCheckBox() const { return fullArticleCheckBox_; }
    QCheckBox* cloudEnabledCheckBox() const { return cloudCheckBox_; }

protected:
    void viewDidLoad() override;

private:
    QCheckBox* checkBox(const char* key, bool on, void (*apply)(bool));

    QComboBox* themePopUp_ = nullptr;
    QComboBox* selectedFeedAtLaunchPopUp_ = nullptr;
    QComboBox* feedsRefreshIntervalPopUp_ = nullptr;
    QCheckBox* badgeCheckBox_ = nullptr;
    QCheckBox* fullArticleCheckBox_ = nullptr;
    QCheckBox* cloudCheckBox_ = nullptr;
};

}  // namespace tallowmere
