# cmake -DOBJDUMP=<objdump> -DDLL=<file> -DEXPORTS=<regex> -P CheckDllExports.cmake
#
# Fails unless every name the DLL exports matches EXPORTS and every DLL it imports is one of the
# system's or of this project's, so that the DLL runs with nothing but the system beside it (the
# compiler's runtime is linked in).
set(system_dlls "KERNEL32|USER32|ADVAPI32|WS2_32|IPHLPAPI|DNSAPI|ODBC32|msvcrt|SHELL32|ole32")
set(own_dlls "mailplatform|Groundkit|Postwell")

execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed")
endif()

string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)+" table "${dump}")
string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [^\n]+" names "${table}")
list(LENGTH names count)
if(count EQUAL 0)
  message(FATAL_ERROR "${DLL} exports nothing")
endif()
set(unexpected "")
foreach(entry IN LISTS names)
  string(REGEX REPLACE "^\t\\[ *[0-9]+\\] " "" name "${entry}")
  if(NOT name MATCHES "${EXPORTS}")
    list(APPEND unexpected "${name}")
  endif()
endforeach()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
set(foreign "")
foreach(entry IN LISTS imports)
  string(SUBSTRING "${entry}" 10 -1 dll)
  if(NOT dll MATCHES "^(${system_dlls}|${own_dlls})\\.(dll|DLL)$")
    list(APPEND foreign "${dll}")
  endif()
endforeach()

if(unexpected OR foreign)
  string(REPLACE ";" "\n  " unexpected "${unexpected}")
  string(REPLACE ";" "\n  " foreign "${foreign}")
  message(FATAL_ERROR "${DLL}:\nexports outside the public API:\n  ${unexpected}\n"
                      "imports beside the system's:\n  ${foreign}")
endif()
message(STATUS "${DLL}: ${count} exports, all public; imports only system DLLs")
