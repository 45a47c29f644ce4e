# Removes every file listed in MANIFEST (an install_manifest.txt), and nothing
# else; under $DESTDIR when set, as `make install DESTDIR=...` put them there.
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "Nothing to uninstall: ${MANIFEST} is missing (no install from this build)")
endif()
file(STRINGS "${MANIFEST}" files)
foreach(f IN LISTS files)
  set(f "$ENV{DESTDIR}${f}")
  if(EXISTS "${f}" OR IS_SYMLINK "${f}")
    message(STATUS "Removing ${f}")
    file(REMOVE "${f}")
  endif()
endforeach()
