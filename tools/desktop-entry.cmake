# Writes the menu entry for an install: Exec names the game by its full path
# (a user's ~/.local/bin need not be on PATH), quoted as desktop entries ask
# when the path holds a space or another character the format reserves.
#   cmake -DIN=entry.in -DOUT=entry -DEXEC=/prefix/bin/voidcrawl -P desktop-entry.cmake
set(exec "${EXEC}")
string(REPLACE "%" "%%" exec "${exec}")
if(exec MATCHES "[] \t\"'\\\\><~|&;$*?#()`[]")
  # Inside quotes \ " ` and $ take a backslash; then the value's own
  # escaping doubles every backslash.
  string(REPLACE "\\" "\\\\" exec "${exec}")
  string(REPLACE "\"" "\\\"" exec "${exec}")
  string(REPLACE "`" "\\`" exec "${exec}")
  string(REPLACE "$" "\\$" exec "${exec}")
  string(REPLACE "\\" "\\\\" exec "\"${exec}\"")
endif()
set(VC_EXEC "${exec}")
configure_file("${IN}" "${OUT}" @ONLY)
