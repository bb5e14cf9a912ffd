#pragma once

namespace tallowmere {

class MainContent;
namespace desktop {
class ViewController;
}

// The one place that decides what fills the main window; the content becomes
// a child controller of `parent`.
MainContent* makeMainContent(desktop::ViewController* parent);

}  // namespace tallowmere
