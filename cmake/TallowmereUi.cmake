# The Qt side: libraries on Qt that the window and the image helpers need, and
# the program itself once there is a window.
find_package(Qt6 COMPONENTS Core Gui)
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
