# What the shipped plug-in DLL carries beyond its source: the settings that
# keep the build machine out of the binary, and the Windows version
# resource. (The 64-bit guards' structured exception frame is in the source
# itself.)
#
# tarvex_deliverable(<target>) applies both to the plug-in target.

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
