# What the Windows build holds beside platform and Groundkit: the shared test fixtures, and the
# check that each DLL exports the public API only and needs nothing beside the system's DLLs.
if(MAILSIGNOFF_TESTS)
  add_subdirectory(tests/support)

  find_program(MAILSIGNOFF_OBJDUMP NAMES ${MINGW_TRIPLE}-objdump x86_64-w64-mingw32-objdump REQUIRED)
  # Groundkit exports plain C functions; platform (and Postwell) their C++ namespace and classes.
  set(exports_Groundkit "^BSCF(EM|EM_D)?_[A-Za-z0-9_]+$")
  set(exports_platform "^_ZN?K?8platform")
  # Postwell: the members, virtual tables and type information of the classes and the functions
  # that its public headers export, and nothing else.
  file(GLOB public_headers ${PROJECT_SOURCE_DIR}/postwell/include/postwell/*.h)
  set(public_names "")
  foreach(header IN LISTS public_headers)
    file(STRINGS ${header} lines REGEX "POSTWELL_API")
    foreach(line IN LISTS lines)
      if(line MATCHES "(class|struct) POSTWELL_API ([A-Za-z_0-9]+)")
        list(APPEND public_names ${CMAKE_MATCH_2})
      elseif(line MATCHES "POSTWELL_API .*[ *&]([A-Za-z_0-9]+)\\(")
        list(APPEND public_names ${CMAKE_MATCH_1})
      endif()
    endforeach()
  endforeach()
  list(APPEND public_names postwell)  # the namespace of its free functions and types
  list(REMOVE_DUPLICATES public_names)
  list(JOIN public_names "|" public_names)
  set(exports_Postwell "^_Z(T[VIS]|Thn?[0-9]+_)?N?K?[0-9]+(${public_names})")
  foreach(library Groundkit platform Postwell)
    add_test(NAME windows.DllExports.${library}
      COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${MAILSIGNOFF_OBJDUMP} -DDLL=$<TARGET_FILE:${library}>
        "-DEXPORTS=${exports_${library}}" -P ${PROJECT_SOURCE_DIR}/cmake/CheckDllExports.cmake)
  endforeach()
endif()
