# Sourced by scripts/windows-test.sh and scripts/screenshots.sh: makes the Wine prefix
# $WINEPREFIX ready for the Windows build's programs. Call PrepareWinePrefix with no Wine server
# running for the prefix; it leaves none running.
#
# - A new prefix is complete once the server that wrote its registry has ended.
# - Wine's own fonts (fonts-wine: "MS Sans Serif", Tahoma, the Marlett glyphs of the title
#   bar's buttons) are found only in the prefix's font folder, so they are copied there.
# - Windows get their title bar and frame drawn by Wine rather than by a window manager: there
#   is none on the virtual display, and the pictures should show the frame.

PrepareWinePrefix() {
    if [[ ! -f $WINEPREFIX/system.reg ]]; then
        wineboot --init </dev/null >/dev/null 2>&1
        wineserver -w
    fi
    local fonts=$WINEPREFIX/drive_c/windows/Fonts
    if [[ -d /usr/share/wine/fonts && ! -f $fonts/sserife.fon ]]; then
        mkdir -p "$fonts"
        cp /usr/share/wine/fonts/* "$fonts/"
    fi
    if ! grep -qs '^"Decorated"="N"' "$WINEPREFIX/user.reg"; then
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f </dev/null >/dev/null 2>&1
        wineserver -w
    fi
}
