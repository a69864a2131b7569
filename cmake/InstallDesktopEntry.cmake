# Runs at install time (after QUAYSIDE_INSTALL_BINDIR, QUAYSIDE_INSTALL_DATADIR,
# QUAYSIDE_ENTRY_TEMPLATE and QUAYSIDE_ENTRY_STAGING are set): writes the desktop entry
# with the absolute path of the program as installed under this prefix.
set(bindir "${QUAYSIDE_INSTALL_BINDIR}")
if(NOT IS_ABSOLUTE "${bindir}")
  set(bindir "${CMAKE_INSTALL_PREFIX}/${bindir}")
endif()
set(program "${bindir}/quayside")

# Exec: quoted when the path holds anything beyond plain characters; inside the quotes
# \ " ` $ take a backslash, then every backslash is doubled for the key file; % doubles.
if(program MATCHES "[^A-Za-z0-9_./+,:@-]")
  string(REPLACE "\\" "\\\\" quoted "${program}")
  string(REPLACE "\"" "\\\"" quoted "${quoted}")
  string(REPLACE "`" "\\`" quoted "${quoted}")
  string(REPLACE "$" "\\$" quoted "${quoted}")
  string(REPLACE "\\" "\\\\" quoted "${quoted}")
  set(QUAYSIDE_EXEC "\"${quoted}\"")
else()
  set(QUAYSIDE_EXEC "${program}")
endif()
string(REPLACE "%" "%%" QUAYSIDE_EXEC "${QUAYSIDE_EXEC}")
string(REPLACE "\\" "\\\\" QUAYSIDE_TRYEXEC "${program}")

set(datadir "${QUAYSIDE_INSTALL_DATADIR}")
if(NOT IS_ABSOLUTE "${datadir}")
  set(datadir "${CMAKE_INSTALL_PREFIX}/${datadir}")
endif()
configure_file("${QUAYSIDE_ENTRY_TEMPLATE}" "${QUAYSIDE_ENTRY_STAGING}" @ONLY)
file(INSTALL "${QUAYSIDE_ENTRY_STAGING}" DESTINATION "${datadir}/applications")
