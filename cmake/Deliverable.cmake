# What the shipped plug-in DLL carries beyond its source: the structured
# exception frame of the 64-bit guards, the settings that keep the build
# machine out of the binary, and the Windows version resource.
#
# tarvex_deliverable(<target>) applies all three to the plug-in target.

# The version resource is compiled by the resource compiler (windres with
# mingw-w64), a language CMake enables only at file scope.
if(WIN32)
  enable_language(RC)
endif()

function(tarvex_deliverable target)
  # No build folder in the binary: __FILE__ and the debug information name
  # files relative to the source tree, so that two checkouts in different
  # folders build the same bytes. The build folder is mapped without its
  # final slash, so that the folder itself (the compiler's working folder,
  # which the debug information records) is mapped too, wherever it lies.
  # TARVEX_RECORDED_SOURCE: the name __FILE__ gives the plug-in's source,
  # which its failure reports print (MSVC keeps the path it was handed).
  if(NOT MSVC)
    target_compile_options(${target} PRIVATE
      -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
      -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
    set(TARVEX_RECORDED_SOURCE ${TARVEX_PLUGIN_SOURCE} PARENT_SCOPE)
  else()
    set(TARVEX_RECORDED_SOURCE ${PROJECT_SOURCE_DIR}/${TARVEX_PLUGIN_SOURCE} PARENT_SCOPE)
  endif()

  if(NOT WIN32)
    return()
  endif()

  if(NOT MSVC)
    # A PE file carries its link time unless told not to.
    target_link_options(${target} PRIVATE -Wl,--no-insert-timestamp)
  endif()

  # The 64-bit guards must catch structured exceptions (an access violation
  # in the shell or behind a bad pointer from the host), which mingw-w64's
  # C++ catch (...) does not see: src/seh_guard.c holds one __try/__except
  # frame. MSVC compiles it as it is; with mingw-w64 it is compiled by clang
  # for the MSVC ABI, whose frame links into the mingw image and uses the
  # __C_specific_handler that msvcrt.dll exports.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(seh_source ${PROJECT_SOURCE_DIR}/src/seh_guard.c)
    if(MSVC)
      target_sources(${target} PRIVATE ${seh_source})
    else()
      find_program(TARVEX_CLANG NAMES clang-14 clang
        DOC "clang, which compiles the structured exception frame of the 64-bit guards")
      if(NOT TARVEX_CLANG)
        message(FATAL_ERROR "clang-14 not found (Debian package clang-14): the 64-bit "
          "plug-in's guards need it for their structured exception frame")
      endif()
      set(seh_object ${CMAKE_CURRENT_BINARY_DIR}/seh_guard.obj)
      set(werror)
      if(TARVEX_WERROR)
        set(werror -Werror)
      endif()
      add_custom_command(OUTPUT ${seh_object}
        COMMAND ${TARVEX_CLANG} --target=x86_64-pc-windows-msvc -O2 -Wall -Wextra ${werror}
          -fms-extensions -fno-builtin -fno-stack-protector -Xclang -fno-autolink
          -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
          -c ${seh_source} -o ${seh_object}
        DEPENDS ${seh_source}
        COMMENT "Structured exception frame of the guards (clang, MSVC ABI)"
        VERBATIM)
      target_sources(${target} PRIVATE ${seh_object})
      set_source_files_properties(${seh_object} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
    endif()
    target_compile_definitions(${target} PRIVATE TARVEX_SEH_GUARD)
  endif()

  # The version a Windows user reads in the DLL's properties.
  set(TARVEX_RC_NAME "tarvex_${TARVEX_WIDTH}")
  if(TARVEX_WIDTH STREQUAL "x64")
    set(TARVEX_RC_DESCRIPTION "tarvex: MOM_ commands for the post-processor of the 64-bit host")
  else()
    set(TARVEX_RC_DESCRIPTION "tarvex: MOM_ commands for the post-processor of the 32-bit host")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in
    ${CMAKE_CURRENT_BINARY_DIR}/tarvex_version.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/tarvex_version.rc)
endfunction()
