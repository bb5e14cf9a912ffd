#pragma once

namespace tallowmere {

namespace desktop {
class ViewController;
}

// What the main window asks of the controller that fills it with the three
// panes: the controller itself (its view fills the window, and the theme walk
// starts at it and at its view) and the refresh of every feed that the
// window's timer asks for.
class MainContent {
public:
    virtual ~MainContent() = default;
    virtual desktop::ViewController& contentController() = 0;
    // Refreshes every stored feed once any refresh already under way has ended.
    virtual void refreshFeeds() = 0;
};

}  // namespace tallowmere
