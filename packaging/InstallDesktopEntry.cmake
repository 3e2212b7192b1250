# Run by `cmake --install`: writes the desktop entry with Exec= naming the
# installed executable by its absolute path, which is only known once the
# install prefix is (`--prefix ~/.local`). An absolute path keeps the entry
# working before the prefix's bin folder is on the desktop's PATH.
#
# In: ZV_TEMPLATE (the entry, application id filled in), ZV_STAGING (a folder
# of the build tree), ZV_BINDIR, ZV_DATADIR, ZV_DESKTOP_NAME; CMAKE_INSTALL_PREFIX as
# `cmake --install` sets it. file(INSTALL) adds $DESTDIR of its own.

if(IS_ABSOLUTE "${ZV_BINDIR}")
  set(exec "${ZV_BINDIR}/zorva-viewer")
else()
  set(exec "${CMAKE_INSTALL_PREFIX}/${ZV_BINDIR}/zorva-viewer")
endif()

# Quoting rules of the Desktop Entry format: '%' is doubled; an
# argument with a reserved character is put in double quotes, inside which
# '"', '`', '$' and '\' take a backslash; then, the value being a string,
# every backslash is doubled once more.
string(REPLACE "%" "%%" exec "${exec}")
string(REGEX MATCH "[] \t\n\"'\\\\><~|&;$*?#()`[]" reserved "${exec}")
if(NOT reserved STREQUAL "")
  string(REPLACE "\\" "\\\\" exec "${exec}")
  string(REPLACE "\"" "\\\"" exec "${exec}")
  string(REPLACE "`" "\\`" exec "${exec}")
  string(REPLACE "$" "\\$" exec "${exec}")
  set(exec "\"${exec}\"")
  string(REPLACE "\\" "\\\\" exec "${exec}")
endif()

set(ZV_EXEC "${exec}")
configure_file("${ZV_TEMPLATE}" "${ZV_STAGING}/${ZV_DESKTOP_NAME}" @ONLY)
if(IS_ABSOLUTE "${ZV_DATADIR}")
  set(applications "${ZV_DATADIR}/applications")
else()
  set(applications "${CMAKE_INSTALL_PREFIX}/${ZV_DATADIR}/applications")
endif()
file(INSTALL "${ZV_STAGING}/${ZV_DESKTOP_NAME}" DESTINATION "${applications}")
