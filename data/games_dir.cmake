# Run by cpack in the package's staging tree: Debian keeps the programs of
# section games in /usr/games, so the package moves plok-time there.
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
file(MAKE_DIRECTORY "${root}/games")
file(RENAME "${root}/bin/plok-time" "${root}/games/plok-time")
file(REMOVE_RECURSE "${root}/bin")  # held only plok-time
