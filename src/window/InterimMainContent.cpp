#include "window/InterimMainContent.h"

#include <QWidget>
#include <string>

#include "feeds/FeedsManager.h"
#include "foundation/Logger.h"
#include "themes/ThemesManager.h"

namespace tallowmere {
namespace {

// A plain view that paints the window's background colour of the theme.
class InterimView : public QWidget, public Themable {
public:
    InterimView() {
        setAutoFillBackground(true);
        // Holding the focus puts the view, and so this controller, in the
        // chain that the window's commands travel.
        setFocusPolicy(Qt::StrongFocus);
        applyTheme();
    }
    void showEvent(QShowEvent* event) override {
        QWidget::showEvent(event);
        if (!window()->focusWidget()) setFocus();
    }
    void applyTheme() override {
        QPalette colours = palette();
        colours.setColor(QPalette::Window, ThemesManager::shared().colors().windowBackground);
        setPalette(colours);
    }
};

}  // namespace

InterimMainContent::InterimMainContent(QObject* parent) : desktop::ViewController(parent) {}

void InterimMainContent::loadView() { setView(new InterimView); }

void InterimMainContent::refreshFeeds() {
    FeedsManager::shared().refreshAllFeeds(false, [](std::optional<RSSServiceError> error) {
        if (error) Logger::warning([&] { return "refresh of the feeds: " + error->description(); });
    });
}

bool InterimMainContent::respondsToAction(Action action) const { return action == Action::addFeedFromFolder; }

void InterimMainContent::performAction(Action action, const ActionArguments& arguments) {
    if (action != Action::addFeedFromFolder) return;
    auto address = arguments.first<std::string>();
    if (!address || address->empty()) return;
    FeedsManager::shared().addFeed(*address, arguments.second<std::string>(), {},
                                   [address = *address](bool, std::optional<FeedsManagerError> error) {
                                       if (error) {
                                           Logger::warning([&] {
                                               return "could not add " + address + ": " + error->errorDescription().value_or("cancelled");
                                           });
                                       }
                                   });
}

}  // namespace tallowmere
