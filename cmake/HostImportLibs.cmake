# Import libraries for the host's Open API DLLs, made from the .def files in
# this folder, so that a Windows plug-in imports the host's functions by name
# from libufun.dll and libugopenint.dll without linking to any particular
# build of the host (the emulated one included).
#
# tarvex_link_host_import_libs(<target>) makes both import libraries and links
# <target> against them.

function(_tarvex_import_lib dll def out_var)
  set(dir ${CMAKE_BINARY_DIR}/importlibs)
  file(MAKE_DIRECTORY ${dir})
  if(MSVC)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      set(machine x64)
    else()
      set(machine x86)
    endif()
    set(out ${dir}/${dll}.lib)
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_AR} /nologo /def:${def} /name:${dll}.dll /machine:${machine} /out:${out}
      DEPENDS ${def}
      COMMENT "Import library for ${dll}.dll"
      VERBATIM)
  else()
    if(NOT CMAKE_DLLTOOL)
      find_program(CMAKE_DLLTOOL NAMES ${CMAKE_C_COMPILER_TARGET}-dlltool dlltool)
    endif()
    if(NOT CMAKE_DLLTOOL)
      message(FATAL_ERROR "dlltool not found: it makes the import libraries of the host's DLLs")
    endif()
    # dlltool names the library's own symbols (_head_NAME) after the output
    # file as it is given: a name without a folder keeps the build folder
    # out of them.
    set(out ${dir}/${dll}.dll.a)
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_DLLTOOL} --input-def ${def} --dllname ${dll}.dll --output-lib ${dll}.dll.a
      WORKING_DIRECTORY ${dir}
      DEPENDS ${def}
      COMMENT "Import library for ${dll}.dll"
      VERBATIM)
  endif()
  set(${out_var} ${out} PARENT_SCOPE)
endfunction()

function(tarvex_link_host_import_libs target)
  set(libs)
  foreach(dll libufun libugopenint)
    _tarvex_import_lib(${dll} ${PROJECT_SOURCE_DIR}/cmake/${dll}.def out)
    list(APPEND libs ${out})
  endforeach()
  add_custom_target(${target}_host_import_libs DEPENDS ${libs})
  add_dependencies(${target} ${target}_host_import_libs)
  target_link_libraries(${target} PRIVATE ${libs})
endfunction()
