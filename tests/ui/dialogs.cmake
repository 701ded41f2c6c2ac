# The dialogs, each alone on the offscreen platform with a fake main window.
zelvo_add_test(NAME ui_dialog_tests LABEL gui
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/FakeMainWindow.h
    ${CMAKE_CURRENT_LIST_DIR}/Fm_connectTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Fm_logonTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Fm_workingTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Fm_editioTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Fm_aboutTest.cpp
  LIBS zelvo_ui zelvo_engine)

# The dialogs with a real job engine against the in-process unit simulator.
zelvo_add_test(NAME ui_dialog_e2e_tests LABEL gui
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/FakeMainWindow.h
    ${CMAKE_CURRENT_LIST_DIR}/Fm_dialogsE2ETest.cpp
  LIBS zelvo_ui zelvo_engine zelvo_sim)

# The connect dialog's Find button against simulated units on pseudo-terminals.
zelvo_add_test(NAME ui_find_tests LABEL gui
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/FakeMainWindow.h
    ${CMAKE_CURRENT_LIST_DIR}/FindpanelTest.cpp
  LIBS zelvo_ui zelvo_engine zelvo_sim)
