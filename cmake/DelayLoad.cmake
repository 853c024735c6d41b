# Delay-loaded import libraries for the Windows build.
#
# Windows loads the DLLs of an import table before the program runs, and a
# DLL that is not one of its KnownDLLs is looked for in the program's folder
# first: a wininet.dll planted beside the launcher would run inside it. A
# delay-loaded DLL is loaded by the first call of one of its functions,
# after WinMain has limited the search to System32
# (SetDefaultDllDirectories), so it always comes from there.
#
# hta_delay_import_library(<name> <dll> <out-var>) writes a delay-load import
# library for every function of the toolchain's lib<name>.a and puts its
# path in <out-var>. Made at configure time: dlltool takes milliseconds.
function(hta_delay_import_library name dll out_var)
  find_library(import_${name} NAMES lib${name}.a REQUIRED NO_CACHE)
  set(dir ${CMAKE_BINARY_DIR}/delay-load)
  set(def ${dir}/${name}.def)
  set(lib ${dir}/lib${name}_delay.a)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${import_${name}})

  execute_process(COMMAND ${CMAKE_NM} -g ${import_${name}} OUTPUT_VARIABLE symbols
                  RESULT_VARIABLE nm_result)
  string(REGEX MATCHALL " I __imp_[^\r\n]+" imports "${symbols}")
  if(NOT nm_result EQUAL 0 OR NOT imports)
    message(FATAL_ERROR "no imports found in ${import_${name}}")
  endif()
  set(exports "")
  foreach(import IN LISTS imports)
    string(REGEX REPLACE "^ I __imp_" "" export "${import}")
    # 32-bit C names carry a leading underscore that the .def leaves out; the
    # stdcall suffix (@N) stays, and --kill-at drops it from the names looked
    # up in the DLL.
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      string(REGEX REPLACE "^_" "" export "${export}")
    endif()
    string(APPEND exports "  ${export}\n")
  endforeach()
  file(WRITE ${def} "LIBRARY ${dll}\nEXPORTS\n${exports}")

  set(kill_at "")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(kill_at --kill-at)
  endif()
  execute_process(COMMAND ${CMAKE_DLLTOOL} --input-def ${def} --dllname ${dll} ${kill_at}
                          --output-delaylib ${lib}
                  RESULT_VARIABLE dlltool_result ERROR_VARIABLE dlltool_error)
  if(NOT dlltool_result EQUAL 0)
    message(FATAL_ERROR "dlltool could not make ${lib}: ${dlltool_error}")
  endif()
  set(${out_var} ${lib} PARENT_SCOPE)
endfunction()
