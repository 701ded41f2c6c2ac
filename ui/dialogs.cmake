# zelvo_ui_dialogs: the connect, logon, progress, edit-I/O and About dialogs,
# the progress animation's reader, and the artwork they show (compiled in,
# except the animation, which is read from Images/ at run time).
# zelvo_ui_avi: the RIFF/AVI Motion-JPEG reader and writer (the dialogs
# read the animation with it, the artwork generator writes it).
add_library(zelvo_ui_avi STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Avireader.h ${CMAKE_CURRENT_LIST_DIR}/Avireader.cpp)
target_include_directories(zelvo_ui_avi PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(zelvo_ui_avi PUBLIC Qt6::Gui)

add_library(zelvo_ui_dialogs STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Dialoggeometry.h ${CMAKE_CURRENT_LIST_DIR}/Dialoggeometry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Dialogseam.h
  ${CMAKE_CURRENT_LIST_DIR}/Dialogs.h ${CMAKE_CURRENT_LIST_DIR}/Dialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Fm_about.h ${CMAKE_CURRENT_LIST_DIR}/Fm_about.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Fm_connect.h ${CMAKE_CURRENT_LIST_DIR}/Fm_connect.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Findpanel.h ${CMAKE_CURRENT_LIST_DIR}/Findpanel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Fm_editio.h ${CMAKE_CURRENT_LIST_DIR}/Fm_editio.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Fm_logon.h ${CMAKE_CURRENT_LIST_DIR}/Fm_logon.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Fm_working.h ${CMAKE_CURRENT_LIST_DIR}/Fm_working.cpp
)
target_include_directories(zelvo_ui_dialogs PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(zelvo_ui_dialogs PUBLIC zelvo_ui_avi zelvo_branding zelvo_engine zelvo_model zelvo_unit zelvo_protocol
  zelvo_link Qt6::Widgets Qt6::Gui)

set(ZELVO_IMAGES_DIR ${PROJECT_SOURCE_DIR}/data/Images)
# The pictures are made by zelvo-artgen and committed; a tree without them
# (before the first run of the generator) builds the dialogs without art.
if(EXISTS ${ZELVO_IMAGES_DIR}/working_generic.avi)
qt_add_resources(zelvo_ui_dialogs "zelvo_dialog_art"
  PREFIX "/art"
  BASE ${ZELVO_IMAGES_DIR}
  FILES
    ${ZELVO_IMAGES_DIR}/logon_zelvo.jpg
    ${ZELVO_IMAGES_DIR}/logon_generic.jpg
    ${ZELVO_IMAGES_DIR}/logon_orvane.jpg
    ${ZELVO_IMAGES_DIR}/working_background.jpg)

# The progress animation next to the programs of the build tree, so a
# program started there finds Images/working_generic.avi.
configure_file(${ZELVO_IMAGES_DIR}/working_generic.avi
  ${PROJECT_BINARY_DIR}/Images/working_generic.avi COPYONLY)
endif()

# zelvo-artgen: draws the banners, the progress picture and the progress
# animation into a folder. From the source root:
#   build/release/ui/zelvo-artgen data/Images [--sheet /tmp/sheet.png]
add_executable(zelvo-artgen
  ${CMAKE_CURRENT_LIST_DIR}/artgen/Artwork.h ${CMAKE_CURRENT_LIST_DIR}/artgen/Artwork.cpp
  ${CMAKE_CURRENT_LIST_DIR}/artgen/main.cpp)
target_include_directories(zelvo-artgen PRIVATE ${CMAKE_CURRENT_LIST_DIR}/artgen)
target_link_libraries(zelvo-artgen PRIVATE zelvo_ui_avi Qt6::Gui)

# zelvo-dialog-shots: shows each dialog alone and saves a picture of it. The
# pictures in docs/screenshots come from the running window (scripts/screenshots)
# except connect-find.png and dialog-working-static.png, states the window's
# tour does not reach:
#   cd build/release && xvfb-run -a ./ui/zelvo-dialog-shots /tmp/shots
add_executable(zelvo-dialog-shots ${CMAKE_CURRENT_LIST_DIR}/artgen/Dialogshots.cpp)
target_link_libraries(zelvo-dialog-shots PRIVATE zelvo_ui_dialogs zelvo_engine zelvo_sim)
