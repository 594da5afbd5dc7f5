# Checks that the plug-in DLL carries nothing of the machine or folder it
# was built in: builds it a second time from a copy of the sources in
# another folder (without ccache, so that the compiler really runs), strips
# both builds as the package does, and compares them byte for byte; then
# looks through both for an absolute path of either source or build folder.
#   cmake -DSOURCE_DIR=... -DBINARY_DIR=... -DDLL=... -DTARGET_NAME=tarvex
#         -DTOOLCHAIN=cmake/toolchains/X.cmake -DBUILD_TYPE=... -DSTRIP=... -DWORK=... -P CheckReproducible.cmake
cmake_minimum_required(VERSION 3.25)

foreach(variable SOURCE_DIR BINARY_DIR DLL TOOLCHAIN BUILD_TYPE STRIP WORK)
  if(NOT ${variable})
    message(FATAL_ERROR "${variable} is not given")
  endif()
endforeach()

file(REMOVE_RECURSE ${WORK})
set(copy ${WORK}/elsewhere/tarvex-copy)
set(build ${WORK}/another-build)
file(MAKE_DIRECTORY ${copy})
foreach(item CMakeLists.txt cmake include src host)
  file(COPY ${SOURCE_DIR}/${item} DESTINATION ${copy})
endforeach()

unset(ENV{CMAKE_CXX_COMPILER_LAUNCHER})
unset(ENV{CMAKE_C_COMPILER_LAUNCHER})
set(ENV{CCACHE_DISABLE} 1)
execute_process(
  COMMAND ${CMAKE_COMMAND} -G Ninja -S ${copy} -B ${build}
    -DCMAKE_TOOLCHAIN_FILE=${copy}/${TOOLCHAIN}
    -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
    -DTARVEX_WERROR=ON -DTARVEX_TESTS=OFF -DTARVEX_WITH_TCL=OFF
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE code)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "configuring the second build failed:\n${out}\n${err}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${build} --target tarvex
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE code)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "the second build failed:\n${out}\n${err}")
endif()

get_filename_component(name ${DLL} NAME)
set(first ${WORK}/first-${name})
set(second ${WORK}/second-${name})
file(COPY_FILE ${DLL} ${first})
file(COPY_FILE ${build}/bin/${name} ${second})
# strip writes the time of stripping into a PE file's header unless
# SOURCE_DATE_EPOCH gives one (the package strips the same way).
set(ENV{SOURCE_DATE_EPOCH} 0)
foreach(file ${first} ${second})
  execute_process(COMMAND ${STRIP} --strip-all ${file} RESULT_VARIABLE code)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "${STRIP} --strip-all ${file} failed")
  endif()
endforeach()

set(failures 0)
file(SHA256 ${first} first_sum)
file(SHA256 ${second} second_sum)
if(NOT first_sum STREQUAL second_sum)
  message(SEND_ERROR "${name} differs when built in ${build} from ${copy}: "
    "${first_sum} (${BINARY_DIR}) against ${second_sum}")
  math(EXPR failures "${failures} + 1")
endif()

# The header's time stamp is 0 in the built and in the stripped DLL alike:
# neither the link nor the strip wrote the time it happened.
function(header_time file out_var)
  file(READ ${file} offset OFFSET 60 LIMIT 4 HEX)
  string(SUBSTRING "${offset}" 6 2 b3)
  string(SUBSTRING "${offset}" 4 2 b2)
  string(SUBSTRING "${offset}" 2 2 b1)
  string(SUBSTRING "${offset}" 0 2 b0)
  math(EXPR at "0x${b3}${b2}${b1}${b0} + 8")
  file(READ ${file} stamp OFFSET ${at} LIMIT 4 HEX)
  set(${out_var} ${stamp} PARENT_SCOPE)
endfunction()
foreach(file ${DLL} ${first})
  header_time(${file} stamp)
  if(NOT stamp STREQUAL "00000000")
    message(SEND_ERROR "${file} carries a time stamp in its header (${stamp})")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()

# No folder of either build, in any spelling Windows, Wine or a symbol name
# might show it.
foreach(file ${DLL} ${first} ${second})
  file(STRINGS ${file} texts)
  file(STRINGS ${file} wide_texts ENCODING UTF-16LE)
  foreach(folder ${SOURCE_DIR} ${BINARY_DIR} ${copy} ${build})
    string(REPLACE "/" "\\" backslashed "${folder}")
    # As a tool that names symbols after a file spells it (/tmp/b: _tmp_b).
    string(MAKE_C_IDENTIFIER "${folder}" symbol)
    foreach(text IN LISTS texts wide_texts)
      string(FIND "${text}" "${folder}" at)
      string(FIND "${text}" "${backslashed}" back_at)
      string(FIND "${text}" "${symbol}" symbol_at)
      if(NOT at EQUAL -1 OR NOT back_at EQUAL -1 OR NOT symbol_at EQUAL -1)
        if(file STREQUAL DLL)
          set(what "the built ${name}")
        else()
          set(what "the stripped ${name}")
        endif()
        message(SEND_ERROR "${what} holds the build folder ${folder}: '${text}'")
        math(EXPR failures "${failures} + 1")
        break()
      endif()
    endforeach()
  endforeach()
endforeach()

if(failures GREATER 0)
  message(FATAL_ERROR "${name}: ${failures} check(s) failed")
endif()
if(NOT KEEP)
  file(REMOVE_RECURSE ${WORK})
endif()
message(STATUS "${name}: stripped, byte for byte the same from two folders (sha256 ${first_sum}); no build folder in it")
