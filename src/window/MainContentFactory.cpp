#include "window/MainContentFactory.h"

#include "window/MainSplitViewController.h"

namespace tallowmere {

MainContent* makeMainContent(desktop::ViewController* parent) {
    auto* content = new MainSplitViewController;
    parent->addChild(content);
    return content;
}

}  // namespace tallowmere
