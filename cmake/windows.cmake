# Windows builds (cross-built on Debian with cmake/mingw64.cmake, see
# scripts/windows): where the runtime files come from, and Wine as the
# emulator that runs the test programs when the build host is Linux.

# mingw's runtime DLLs, shipped beside the programs (Qt's DLLs need them too,
# so linking them statically into our programs alone would not do).
set(ZELVO_MINGW_RUNTIME_DLLS)
foreach(dll libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    message(FATAL_ERROR "The mingw runtime ${dll} was not found (${CMAKE_CXX_COMPILER} -print-file-name)")
  endif()
  get_filename_component(path "${path}" REALPATH)
  list(APPEND ZELVO_MINGW_RUNTIME_DLLS "${path}")
endforeach()

# The Qt this build found: its DLLs and plugins.
set(ZELVO_QT_BIN_DIR "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}")
set(ZELVO_QT_PLUGIN_DIR "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS}")

if(CMAKE_CROSSCOMPILING AND CMAKE_HOST_UNIX)
  find_program(ZELVO_WINE NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_DEFAULT_PATH)
  find_program(ZELVO_WINE NAMES wine64 wine)
  if(NOT ZELVO_WINE)
    message(WARNING "Wine not found: the Windows test programs build but cannot run here")
  else()
    set(ZELVO_WINEPREFIX "${CMAKE_BINARY_DIR}/wine" CACHE PATH
        "The private Wine prefix the Windows test programs run in")
    # The DLL folders as Windows paths on Wine's drive Z: (the Unix root).
    set(ZELVO_WINE_DLL_PATH)
    set(dirs "${ZELVO_QT_BIN_DIR}")
    foreach(path IN LISTS ZELVO_MINGW_RUNTIME_DLLS)
      get_filename_component(dir "${path}" DIRECTORY)
      list(APPEND dirs "${dir}")
    endforeach()
    list(REMOVE_DUPLICATES dirs)
    foreach(dir IN LISTS dirs)
      string(REPLACE "/" "\\" windir "Z:${dir}")
      if(ZELVO_WINE_DLL_PATH)
        string(APPEND ZELVO_WINE_DLL_PATH ";")
      endif()
      string(APPEND ZELVO_WINE_DLL_PATH "${windir}")
    endforeach()
    configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                    WORLD_READ WORLD_EXECUTE)
    if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
      set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
    endif()
  endif()
endif()
