# mailsignoff_add_translation(<program> <sources-target> <ts-file>)
# Builds the program's catalog <name>.qm from the .ts kept in the tree into the folder of the
# programs (where the program looks for it first, so that it runs from the build tree) and installs
# it into share/mailsignoff/translations. `cmake --build <dir> --target <sources-target>_lupdate`
# brings the .ts up to date with the texts of the sources-target's sources.
find_package(Qt6 REQUIRED COMPONENTS LinguistTools)

function(mailsignoff_add_translation program sources_target ts_file)
  set_source_files_properties(${ts_file} PROPERTIES OUTPUT_LOCATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  qt_add_lrelease(${program} TS_FILES ${ts_file} NO_GLOBAL_TARGET QM_FILES_OUTPUT_VARIABLE qm_files)
  install(FILES ${qm_files} DESTINATION ${CMAKE_INSTALL_DATADIR}/mailsignoff/translations)
  qt_add_lupdate(${sources_target} TS_FILES ${ts_file} NO_GLOBAL_TARGET
    OPTIONS -no-obsolete -locations none)
endfunction()
