#include "menus/MainMenu.h"

namespace tallowmere {

MainMenu::MainMenu(QWidget* parent) : QMenuBar(parent) {}

}  // namespace tallowmere
