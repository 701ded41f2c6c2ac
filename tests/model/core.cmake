zelvo_add_test(NAME model_core_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/IosTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/InputtypesTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/UomdescriptionsTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/EditiorulesTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ReadersFuzzTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/CoreBlocks.h
          ${CMAKE_CURRENT_LIST_DIR}/Recordinglistview.h
  LIBS zelvo_model)
