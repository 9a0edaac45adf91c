# Run by CPack on the staged files before it builds the package: strips the two commands as
# Debian's own packaging does (debug symbols, and the .comment and .note sections).
foreach(command kvor-rur-glint kvor-sensor-sim)
  set(file "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/${command}")
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "not staged for the package: ${file}")
  endif()
  execute_process(
    COMMAND "${CPACK_KVOR_STRIP}" --remove-section=.comment --remove-section=.note "${file}"
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "cannot strip ${file}")
  endif()
endforeach()
