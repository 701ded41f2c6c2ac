zelvo_add_test(NAME engine_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FakeComms.h
          ${CMAKE_CURRENT_LIST_DIR}/SignalstrengthrefreshTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/SerialthreadTest.cpp
  LIBS zelvo_engine)
