# Runs at install time (the prefix is known only then): writes the desktop entry of
# vantrel-settings with the installed program's full path and installs it into
# <prefix>/share/applications. In: VANTREL_DESKTOP_ENTRY_TEMPLATE, VANTREL_DESKTOP_ENTRY_STAGING.
set(program "${CMAKE_INSTALL_PREFIX}/bin/vantrel-settings")
if(program MATCHES "[\n\r]")
  message(FATAL_ERROR "a desktop entry cannot start a program whose path has a line break: ${program}")
endif()

# Exec: the program as one argument, quoted when it holds a character that needs it (inside
# the quotes '"', '`', '$' and '\' get a backslash), '%' doubled; then the whole value escaped
# as a string (each '\' doubled).
set(argument "${program}")
if(argument MATCHES "[] \t\"'\\\\><~|&;$*?#()`[]")
  string(REPLACE "\\" "\\\\" argument "${argument}")
  string(REPLACE "\"" "\\\"" argument "${argument}")
  string(REPLACE "`" "\\`" argument "${argument}")
  string(REPLACE "$" "\\$" argument "${argument}")
  set(argument "\"${argument}\"")
endif()
string(REPLACE "%" "%%" argument "${argument}")
string(REPLACE "\\" "\\\\" EXEC "${argument}")
# TryExec: a plain string value.
string(REPLACE "\\" "\\\\" TRY_EXEC "${program}")

file(READ "${VANTREL_DESKTOP_ENTRY_TEMPLATE}" template)
string(CONFIGURE "${template}" entry @ONLY)
file(WRITE "${VANTREL_DESKTOP_ENTRY_STAGING}/vantrel-settings.desktop" "${entry}")
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/share/applications" TYPE FILE
     FILES "${VANTREL_DESKTOP_ENTRY_STAGING}/vantrel-settings.desktop")
