zelvo_add_test(NAME errorlog_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ErrormanagerTest.cpp
  LIBS zelvo_errorlog)
