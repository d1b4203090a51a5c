# Runs inside CPack between staging and packing: the folders that the daemon
# writes to are made by postinst, not shipped (see Package.cmake).
foreach(dir etc/corvand var/log/corvand var/run/corvand)
  file(REMOVE_RECURSE ${CPACK_TEMPORARY_DIRECTORY}/${dir})
endforeach()
# What stays of var/ is empty: drop it too.
foreach(dir var/log var/run var)
  file(GLOB left ${CPACK_TEMPORARY_DIRECTORY}/${dir}/*)
  if(NOT left)
    file(REMOVE_RECURSE ${CPACK_TEMPORARY_DIRECTORY}/${dir})
  endif()
endforeach()
