#include "window/MainContentFactory.h"

#include "window/InterimMainContent.h"

namespace tallowmere {

MainContent* makeMainContent(desktop::ViewController* parent) {
    auto* content = new InterimMainContent;
    parent->addChild(content);
    return content;
}

}  // namespace tallowmere
