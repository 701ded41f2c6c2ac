zelvo_add_test(NAME commands_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/CommandsTest.cpp
  LIBS zelvo_protocol)
