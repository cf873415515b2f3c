# Makes a delay-load import library OUT for DLL from the functions the regular
# import library IMPLIB imports (cmake -P; NM, DLLTOOL, IMPLIB, DLL, OUT, ARCH).
execute_process(COMMAND ${NM} -g --defined-only "${IMPLIB}" OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${IMPLIB}")
endif()
# Every function has an import pointer "__imp_<symbol>"; on i686 the symbol
# carries the C prefix "_" and stdcall functions their "@<bytes>" suffix,
# which the definition keeps (dlltool --kill-at drops it from the name the
# DLL is asked for, as the system's own import libraries do).
if(ARCH STREQUAL "x86")
  set(prefix "__imp__")
else()
  set(prefix "__imp_")
endif()
string(REGEX MATCHALL "[ \t]I ${prefix}[^\r\n]+" imports "${symbols}")
set(def "LIBRARY ${DLL}\nEXPORTS\n")
set(count 0)
foreach(line IN LISTS imports)
  string(REGEX REPLACE "^[ \t]I ${prefix}" "" name "${line}")
  string(STRIP "${name}" name)
  if(name STREQUAL "" OR name MATCHES "^_?_?(head|lib(32|64))_")
    continue()
  endif()
  string(APPEND def "${name}\n")
  math(EXPR count "${count} + 1")
endforeach()
if(count EQUAL 0)
  message(FATAL_ERROR "no functions found in ${IMPLIB}")
endif()
get_filename_component(dir "${OUT}" DIRECTORY)
file(MAKE_DIRECTORY "${dir}")
file(WRITE "${OUT}.def" "${def}")
# Run in the output's folder: dlltool names the library's symbols after the
# output file as given, so that the descriptor is always
# __DELAY_IMPORT_DESCRIPTOR_lib<dll>_a (see DelayLoad.cmake).
get_filename_component(file "${OUT}" NAME)
execute_process(COMMAND ${DLLTOOL} --kill-at --input-def "${file}.def" --dllname "${DLL}" --output-delaylib "${file}"
                WORKING_DIRECTORY "${dir}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${DLLTOOL} failed for ${DLL}")
endif()
