# The Qt side: the image helpers, the window library and the program.
find_package(Qt6 COMPONENTS Core Gui Widgets OpenGLWidgets DBus Network Test WebEngineWidgets WebChannel)
if(NOT Qt6_FOUND)
  message(WARNING "Qt 6 not found: the Qt side is not built")
  return()
endif()

file(GLOB_RECURSE TALLOWMERE_IMAGES_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/src/images/*.cpp)
if(TALLOWMERE_IMAGES_SOURCES)
  add_library(tallowmere_images STATIC ${TALLOWMERE_IMAGES_SOURCES})
  target_include_directories(tallowmere_images PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/src)
  target_link_libraries(tallowmere_images PUBLIC tallowmere_core Qt6::Gui)
  tallowmere_warnings(tallowmere_images)
endif()

# Automatic moc only rescans when its own timestamp is older than the headers it
# already knew; a Q_OBJECT header added since the last configure would be left
# without its meta-object. Every configure (which a new globbed file triggers)
# drops the stamps so the next build rescans.
file(GLOB TALLOWMERE_AUTOGEN_STAMPS
  ${CMAKE_BINARY_DIR}/*_autogen/timestamp ${CMAKE_BINARY_DIR}/*/*_autogen/timestamp)
if(TALLOWMERE_AUTOGEN_STAMPS)
  file(REMOVE ${TALLOWMERE_AUTOGEN_STAMPS})
endif()

# The window library: the Qt-side platform layers, the themes, the window.
set(TALLOWMERE_UI_DIRS platform/desktop themes window reader menus prefs)
set(TALLOWMERE_UI_SOURCES)
foreach(dir ${TALLOWMERE_UI_DIRS})
  file(GLOB_RECURSE dir_sources CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/src/${dir}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/src/${dir}/*.h)
  list(APPEND TALLOWMERE_UI_SOURCES ${dir_sources})
endforeach()
add_library(tallowmere_ui STATIC ${TALLOWMERE_UI_SOURCES})
set_target_properties(tallowmere_ui PROPERTIES AUTOMOC ON)
target_include_directories(tallowmere_ui PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/src)
# The core has members named "slots" and "signals".
target_compile_definitions(tallowmere_ui PUBLIC QT_NO_KEYWORDS)
target_link_libraries(tallowmere_ui PUBLIC tallowmere_core tallowmere_images Qt6::Widgets Qt6::DBus Qt6::Network
  Qt6::OpenGLWidgets Qt6::WebEngineWidgets Qt6::WebChannel)
tallowmere_warnings(tallowmere_ui)
# The Debug menu of development builds.
if(CMAKE_BUILD_TYPE STREQUAL "Debug")
  set(debug_menu_default ON)
else()
  set(debug_menu_default OFF)
endif()
option(TALLOWMERE_DEBUG_MENU "Add the Debug menu to the menu bar" ${debug_menu_default})
if(TALLOWMERE_DEBUG_MENU)
  # Only the bar decides whether the menu is there.
  set_property(SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/src/menus/MainMenu.cpp
    APPEND PROPERTY COMPILE_DEFINITIONS TALLOWMERE_DEBUG_MENU)
endif()

# The bundled faces that stand in for the themes' fonts, with their licences,
# taken from the installed Debian packages (scripts/deps) and compiled in
# below ":/fonts/".
set(TALLOWMERE_FONT_FILES
  /usr/share/fonts/truetype/lato/Lato-Regular.ttf
  /usr/share/fonts/truetype/lato/Lato-Semibold.ttf
  /usr/share/fonts/truetype/lato/Lato-Bold.ttf
  /usr/share/fonts/truetype/lato/Lato-Light.ttf
  /usr/share/fonts/truetype/roboto/unhinted/RobotoCondensed-Medium.ttf
  /usr/share/fonts/opentype/solid-mirage/SolideMirageEtroit.otf
  /usr/share/fonts/opentype/lobstertwo/LobsterTwo-Regular.otf
  /usr/share/fonts/truetype/fonts-oldstandard/OldStandard-Regular.ttf
  /usr/share/fonts/opentype/bebas-neue/BebasNeue-Bold.otf)
set(TALLOWMERE_FONT_PACKAGES
  fonts-lato fonts-roboto-unhinted fonts-solide-mirage fonts-oldstandard fonts-lobstertwo fonts-bebas-neue)
set(font_resources)
foreach(file ${TALLOWMERE_FONT_FILES})
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "${file} is missing: run scripts/deps to install the font packages")
  endif()
  get_filename_component(name ${file} NAME)
  set_source_files_properties(${file} PROPERTIES QT_RESOURCE_ALIAS ${name})
  list(APPEND font_resources ${file})
endforeach()
foreach(package ${TALLOWMERE_FONT_PACKAGES})
  set(copyright /usr/share/doc/${package}/copyright)
  if(NOT EXISTS ${copyright})
    message(FATAL_ERROR "${copyright} is missing: run scripts/deps to install the font packages")
  endif()
  # The alias is per file; the same path cannot carry two, so copy it.
  set(licence ${CMAKE_CURRENT_BINARY_DIR}/font-licences/${package}.txt)
  configure_file(${copyright} ${licence} COPYONLY)
  set_source_files_properties(${licence} PROPERTIES QT_RESOURCE_ALIAS licences/${package}.txt)
  list(APPEND font_resources ${licence})
endforeach()
qt_add_resources(tallowmere_ui tallowmere_fonts PREFIX /fonts FILES ${font_resources})

# The program: a thin entry over the window library.
add_executable(tallowmere ${CMAKE_CURRENT_SOURCE_DIR}/src/main.cpp)
target_link_libraries(tallowmere PRIVATE tallowmere_ui)
tallowmere_warnings(tallowmere)

# `cmake --install`: the program and its desktop entry, which also makes it a
# candidate handler of "feed" links.
include(GNUInstallDirs)
install(TARGETS tallowmere RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/packaging/tallowmere.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
