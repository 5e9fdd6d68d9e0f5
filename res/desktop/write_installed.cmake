# Runs while installing, when the prefix is known: writes the desktop entry
# and the user unit naming the installed programs, each path quoted the way
# its reader unquotes it, so a prefix with blanks, quotes or "%" still works.
# Given: VELMORA_DESKTOP_SOURCE_DIR, VELMORA_DESKTOP_BINARY_DIR, VELMORA_APP_ID
# and VELMORA_BINDIR (relative to the prefix, or absolute).

if(IS_ABSOLUTE "${VELMORA_BINDIR}")
    set(bindir "${VELMORA_BINDIR}")
else()
    set(bindir "${CMAKE_INSTALL_PREFIX}/${VELMORA_BINDIR}")
endif()

# systemd: a program's path in double quotes, "%" (a specifier) doubled.
# systemd refuses a program whose path holds a quote or a backslash.
function(systemd_quoted out path)
    if(path MATCHES "[\"\\]")
        message(WARNING "systemd cannot start ${path}: its path holds a quote or a backslash")
    endif()
    string(REPLACE "%" "%%" text "${path}")
    set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

# Desktop entry: the Exec key's own quoting ("\", quote, "`" and "$" escaped
# inside double quotes), then the key file's escaping of "\"; "%" starts a
# field code and is doubled.
function(desktop_exec_quoted out path)
    string(REGEX REPLACE "([\\\\\"`$])" "\\\\\\1" text "${path}")
    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "%" "%%" text "${text}")
    set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

desktop_exec_quoted(VELMORA_PLAYER_EXEC "${bindir}/velmora-player")
systemd_quoted(VELMORA_SERVICE_EXEC "${bindir}/velmora-service")
configure_file("${VELMORA_DESKTOP_SOURCE_DIR}/${VELMORA_APP_ID}.desktop.in"
               "${VELMORA_DESKTOP_BINARY_DIR}/${VELMORA_APP_ID}.desktop" @ONLY)
configure_file("${VELMORA_DESKTOP_SOURCE_DIR}/velmora-service.service.in"
               "${VELMORA_DESKTOP_BINARY_DIR}/velmora-service.service" @ONLY)
