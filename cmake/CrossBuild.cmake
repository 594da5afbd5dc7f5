# Settings for builds whose programs do not run on the build machine as they
# are: the Windows builds made with mingw-w64 on Linux (run under Wine) and
# the 32-bit Linux build (run under qemu-i386). Included by the top-level
# CMakeLists.txt before any target is made.
#
# Sets TARVEX_CAN_RUN to TRUE when ctest can run this build's programs.

set(TARVEX_CAN_RUN TRUE)

if(WIN32)
  # Wine, like Windows, finds a program's DLLs in the program's own folder:
  # the plug-in, the emulated host and the test programs all go into bin/.
  set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
endif()

if(NOT CMAKE_CROSSCOMPILING)
  return()
endif()

# Header-only libraries of the build machine, one folder each: a cross
# compiler must not see the rest of the build machine's /usr/include.
if(WIN32 AND CMAKE_HOST_UNIX)
  set(thirdparty ${CMAKE_BINARY_DIR}/thirdparty)
  find_path(TARVEX_NLOHMANN_JSON_INCLUDE_DIR nlohmann/json.hpp
    PATHS /usr/include /usr/local/include
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(TARVEX_NLOHMANN_JSON_INCLUDE_DIR)
    file(MAKE_DIRECTORY ${thirdparty}/include)
    file(CREATE_LINK ${TARVEX_NLOHMANN_JSON_INCLUDE_DIR}/nlohmann
      ${thirdparty}/include/nlohmann SYMBOLIC)
    include_directories(SYSTEM ${thirdparty}/include)
    # find_package(nlohmann_json) finds this package, whose target points
    # at the one folder.
    set(package ${thirdparty}/cmake/nlohmann_json)
    file(WRITE ${package}/nlohmann_jsonConfig.cmake
      "if(NOT TARGET nlohmann_json::nlohmann_json)\n"
      "  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)\n"
      "  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES\n"
      "    INTERFACE_INCLUDE_DIRECTORIES \"${thirdparty}/include\")\n"
      "endif()\n")
    set(version_file ${TARVEX_NLOHMANN_JSON_INCLUDE_DIR}/../share/cmake/nlohmann_json/nlohmann_jsonConfigVersion.cmake)
    if(EXISTS ${version_file})
      configure_file(${version_file} ${package}/nlohmann_jsonConfigVersion.cmake COPYONLY)
    endif()
    set(nlohmann_json_DIR ${package} CACHE PATH "nlohmann_json package of the cross build")
  endif()
endif()

# A test program runs through the emulator that ctest puts before it. A
# CMAKE_CROSSCOMPILING_EMULATOR given on the command line is kept.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
    # /usr/bin/wine would try the 32-bit loader first; wine64 runs 64-bit
    # programs directly.
    find_program(TARVEX_WINE64 wine64 PATHS /usr/lib/wine /usr/lib64/wine)
    find_program(TARVEX_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine /usr/lib64/wine)
    if(TARVEX_WINE64 AND TARVEX_WINESERVER)
      # A prefix of this build's own keeps runs apart from each other and
      # from the user's Wine; mono and gecko are not wanted in it.
      set(TARVEX_WINE_ENV
        WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix
        WINEDEBUG=-all
        "WINEDLLOVERRIDES=mscoree,mshtml=")
      # Without a display, a window that a test opens by mistake fails at
      # once instead of waiting for a user: the runs stay headless.
      set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env
        --unset=DISPLAY --unset=WAYLAND_DISPLAY ${TARVEX_WINE_ENV} ${TARVEX_WINE64})
    endif()
  elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    find_program(TARVEX_QEMU_I386 qemu-i386)
    if(TARVEX_QEMU_I386)
      set(CMAKE_CROSSCOMPILING_EMULATOR ${TARVEX_QEMU_I386} -L /)
    endif()
  endif()
endif()

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(TARVEX_CAN_RUN FALSE)
endif()
