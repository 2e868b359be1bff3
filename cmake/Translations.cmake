# mailsignoff_add_translation(<program> <ts-file> SOURCE_DIRS <dir>...)
# Builds the program's catalog <name>.qm from the .ts kept in the tree into the folder of the
# programs (where the program looks for it first, so that it runs from the build tree) and installs
# it into share/mailsignoff/translations. `cmake --build <dir> --target <program>_lupdate` brings
# the .ts up to date with the texts of the sources and headers in the source dirs.
find_package(Qt6 REQUIRED COMPONENTS LinguistTools)

function(mailsignoff_add_translation program ts_file)
  cmake_parse_arguments(ARG "" "" "SOURCE_DIRS" ${ARGN})
  set_source_files_properties(${ts_file} PROPERTIES
    OUTPUT_LOCATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  qt_add_lrelease(${program} TS_FILES ${ts_file} NO_GLOBAL_TARGET
    QM_FILES_OUTPUT_VARIABLE qm_files)
  # Each catalog goes into the package of its program (the install component of that name).
  string(TOLOWER ${program} component)
  install(FILES ${qm_files} DESTINATION ${CMAKE_INSTALL_DATADIR}/mailsignoff/translations
    COMPONENT ${component})

  set(sources "")
  foreach(dir IN LISTS ARG_SOURCE_DIRS)
    file(GLOB dir_sources CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
    list(APPEND sources ${dir_sources})
  endforeach()
  qt_add_lupdate(${program} TS_FILES ${ts_file} SOURCES ${sources}
    INCLUDE_DIRECTORIES ${CMAKE_CURRENT_SOURCE_DIR} NO_GLOBAL_TARGET
    OPTIONS -no-obsolete -locations none)
endfunction()
