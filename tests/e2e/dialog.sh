#!/usr/bin/env bash
# The interactive mode in one Windows version ($1), as a person clicks
# through it: vqdinst.exe started without arguments under the probe, which
# reads the dialog from inside the program (texts, rectangles, fonts, flags,
# focus), clicks, catches the please-wait window as it is shown and answers
# the boxes. The dialog's four states are read as they come: not installed,
# installed and not newer, installed and older, disabled. After every run the
# system is checked as the other tests check it: exit code, the driver's
# bytes and times, its registration and install count, no flag files (the
# dialog runs its actions with /NOFLAG), no temporary directory, no log
# unless Debug Log was chosen.
source "$(dirname "$0")/lib.sh"
os=$1
e2e_begin "dialog-$os" "$os"
[ -f "$VQD_CHECK" ] || e2e_die "missing $VQD_CHECK"
[ -d "${VQD_FIXTURE_DIR:-}" ] || e2e_die "missing the fixtures (VQD_FIXTURE_DIR=${VQD_FIXTURE_DIR:-})"

case "$os" in
    nt40) fam=NT; dir=drivers; drv=VQD.SYS; dis=VQD.DIS; svc=VQD; older=ver_5_0_0_0.sys ;;
    win98) fam=9x; dir=iosubsys; drv=MERIDAX.VXD; dis=MERIDAX.DIS; svc=; older=meridax_4_0.vxd ;;
    *) fam=2K; dir=drivers; drv=VQD2K.SYS; dis=VQD2K.DIS; svc=VQD2K; older=ver_5_0_0_0.sys ;;
esac
active="$SYS32/$dir/$drv"
disabled="$SYS32/$dir/$dis"
counted="C:\\windows\\system32\\$(tr a-z A-Z <<<"$dir")\\$drv"
INF_STORE="$WINEPREFIX/drive_c/windows/inf"
PAYLOAD="$VQD_WIN32_DIR/payload/$drv"
OLDER="$VQD_FIXTURE_DIR/$older"
PV=$(sed -n "s/^$drv: //p" "$VQD_WIN32_DIR/payload/payload-versions.txt")
OV=$(vqdcheck version "$(vqd_winpath "$OLDER")" | sed 's/^[^=]*=//')
[ -n "$PV" ] && [ -n "$OV" ] || e2e_die "no versions for the payload's $drv ('$PV') and $older ('$OV')"
CAPTION="VQD Driver Installation Utility - $VQD_VERSION"
HINT="Select Advanced to enable, disable, or remove the driver."
FONTWIDTHS="$E2E_LIB_DIR/../../platform/sim/fontwidths.inc"

# --- the system -----------------------------------------------------------------

reset_system() {
    local k f
    for k in VQD VQD2K Aspi32; do hklm_delete "$SERVICES\\$k"; done
    hklm_delete_value "$CLASS" LowerFilters
    hklm_delete "$SHARED"
    hklm_delete 'SOFTWARE\Velcordia'
    rm -f "$SYS32"/drivers/{VQD,VQD2K}.{SYS,DIS} "$SYS32"/iosubsys/MERIDAX.{VXD,DIS}
    remove_stored_infs
    mkdir -p "$SYS32/drivers" "$SYS32/iosubsys"
    # The CD-ROM device class, as every Windows 2000 has it.
    vqdcheck setvalue "$CLASS" Class 1 "$(hex 'CDROM\0')" >/dev/null
}

count() { vqdcheck getvalue "$SHARED" "$counted"; }
count_is() { check_eq "install count" "$([ "$1" = missing ] && echo missing || printf '4 %02x000000' "$1")" "$(count)"; }
# payload_time: the last-write time the build gave the payload's driver.
payload_time() {
    awk -v f="$drv" 'toupper($1) == f { print $10 " " $11 }' "$VQD_PAYLOAD_TIMES" | xargs -I{} date -u -d {} +%s
}
mtime() { stat -c %Y "$1" 2>/dev/null || echo missing; }
same_bytes() { cmp -s "$1" "$2" && echo same || echo different; }

# registered yes|no: the service key and the CD-ROM class filter, where this
# family has them.
registered() {
    if [ -n "$svc" ]; then
        local start=missing
        [ "$1" = yes ] && { [ "$fam" = NT ] && start="4 00000000" || start="4 01000000"; }
        check_eq "service $svc Start" "$start" "$(vqdcheck getvalue "$SERVICES\\$svc" Start)"
    fi
    if [ "$fam" = 2K ]; then
        local filters=missing
        [ "$1" = yes ] && filters="7 $(hex 'VQD2K\0\0')"
        check_eq "LowerFilters" "$filters" "$(vqdcheck getvalue "$CLASS" LowerFilters)"
    fi
}
# enabled_as FILE COUNT: FILE's bytes under the active name, registered, counted.
enabled_as() {
    check_eq "$drv is $(basename "$1")" same "$(same_bytes "$active" "$1")"
    check_absent "$disabled"
    registered yes
    count_is "$2"
}
# disabled_as FILE COUNT: FILE's bytes under the disabled name, unregistered, still counted.
disabled_as() {
    check_absent "$active"
    check_eq "$dis is $(basename "$1")" same "$(same_bytes "$disabled" "$1")"
    registered no
    count_is "$2"
}
# system_state: what Close must leave as it was.
system_state() {
    echo "$drv $(md5sum <"$active" 2>/dev/null | cut -c1-8) $(mtime "$active")"
    echo "$dis $(md5sum <"$disabled" 2>/dev/null | cut -c1-8) $(mtime "$disabled")"
    [ -n "$svc" ] && echo "service $(vqdcheck getvalue "$SERVICES\\$svc" Start)"
    echo "filters $(vqdcheck getvalue "$CLASS" LowerFilters)"
    echo "count $(count)"
}

# dialog STEP...: a run without arguments; before it the flag files of an
# earlier run and the log are planted and removed; after it neither flag is
# there and no temporary directory is left.
dialog() {
    make_files reboot.txt badinst.txt
    e2e_reset
    e2e_run_steps "$@"
    check_absent reboot.txt
    check_absent badinst.txt
    check_eq "temporary directory removed" "" "$(ls -d "$WINEPREFIX"/drive_c/users/*/Temp/931fas~9* 2>/dev/null)"
}

# --- the dialog as the probe reads it -----------------------------------------

# text_width BOLD TEXT: TEXT's width in MS Sans Serif -11 (BOLD 1 or 0), from
# the widths Wine measures for the font.
text_width() {
    awk -v bold="$1" -v text="$2" '
        BEGIN { font = -1 }
        /^\{-11, false,/ { font = 0; n = 0; sub(/^\{[^{]*\{/, "") }
        /^\{-11, true,/  { font = 1; n = 0; sub(/^\{[^{]*\{/, "") }
        /^\{-1[^1]/ { font = -1 }
        font == bold {
            line = $0; sub(/\}.*/, "", line)
            k = split(line, w, ","); for (j = 1; j <= k; j++) if (w[j] ~ /[0-9]/) width[32 + n++] = w[j] + 0
        }
        /\}\}/ { font = -1 }
        END {
            for (c = 32; c < 127; c++) code[sprintf("%c", c)] = c
            for (j = 1; j <= length(text); j++) total += width[code[substr(text, j, 1)]]
            print total + 0
        }' "$FONTWIDTHS"
}

# pieces BLOCK: the visible labels of the sentences (not the hint), top to
# bottom and left to right: id, left, top, width, height, weight, text.
pieces() {
    e2e_controls "$1" | awk -F'\t' -v OFS='\t' '$2 == "Static" && $3 == 1 && $1 != 207 { print $1, $5, $6, $7, $8, $10, $12 }' |
        sort -t$'\t' -k3,3n -k2,2n
}

# sentences BLOCK: the dialog's lines as they read, bold pieces in [brackets].
sentences() {
    pieces "$1" | awk -F'\t' '
        { piece = ($6 == 700) ? "[" $7 "]" : $7 }
        NR > 1 && $3 == top { line = line piece; next }
        NR > 1 { print line }
        { line = piece; top = $3 }
        END { if (NR) print line }'
}

# check_pieces BLOCK [any]: each piece starts where the one before it on its
# line ends, a line starts below the one above it, and each label is as wide
# as its text in its own font and one line of it high (not checked with
# "any": the widths are those of 96 pixels per inch).
check_pieces() {
    local left top width height weight text prev_right=-1 prev_top=-1 prev_bottom=0 bad=""
    while IFS=$'\t' read -r _ left top width height weight text; do
        if [ "$top" = "$prev_top" ]; then
            [ "$left" = "$prev_right" ] || bad+=" '$text' at $left, not at $prev_right;"
        elif [ "$top" -lt "$prev_bottom" ]; then
            bad+=" '$text' at top $top overlaps the line above (bottom $prev_bottom);"
        fi
        if [ "${2:-}" != any ]; then
            local want
            want=$(text_width "$([ "$weight" = 700 ] && echo 1 || echo 0)" "$text")
            [ "$width" = "$want" ] || bad+=" '$text' is $width wide, its text $want;"
            [ "$height" = 13 ] || bad+=" '$text' is $height high;"
        fi
        prev_right=$((left + width))
        prev_top=$top
        prev_bottom=$((top + height))
    done <<<"$(pieces "$1")"
    check_eq "line pieces touch and fit their texts" "" "$bad"
}

# buttons BLOCK: the visible buttons in tab order, "(off)" when disabled.
buttons() {
    e2e_controls "$1" | awk -F'\t' '$2 == "Button" && $3 == 1 { printf "[%s%s]", $12, ($4 == 1 ? "" : " (off)") }'
}

# control BLOCK ID FIELD: one field (numbered as e2e_controls gives them).
control() {
    e2e_controls "$1" | awk -F'\t' -v id="$2" -v f="$3" '$1 == id { print $f }'
}

# check_dialog N HEIGHT FOCUS BUTTONS LINE...: the Nth dump of the main
# dialog: its caption, height, focus, buttons and lines; every control in MS
# Sans Serif 8 pt; the hint shown exactly while Advanced is and the dialog is
# collapsed.
check_dialog() {
    local n=$1 height=$2 focus=$3 want_buttons=$4 blk hint=0
    shift 4
    blk=$(e2e_block "$n" TForm1)
    check_eq "dialog $n" "WINDOW TForm1 1 $CAPTION" "$(head -n 1 <<<"$blk")"
    check_eq "dialog $n size" "425 $height" "$(sed -n 's/^SIZE [0-9]* \([0-9]*\) \([0-9]*\) .*/\2 \1/p' <<<"$blk")"
    check_eq "dialog $n focus" "FOCUS $focus" "$(sed -n '/^FOCUS /p' <<<"$blk")"
    check_eq "dialog $n buttons" "$want_buttons" "$(buttons "$blk")"
    check_eq "dialog $n lines" "$(printf '%s\n' "$@")" "$(sentences "$blk")"
    check_pieces "$blk"
    check_eq "dialog $n fonts" "" "$(e2e_controls "$blk" |
        awk -F'\t' '$9 != -11 || $11 != "MS Sans Serif" || ($10 != 400 && ($2 != "Static" || $10 != 700)) { print $1 }')"
    [ "$height" = 180 ] && [[ $want_buttons == *"[Advanced >>]"* ]] && hint=1
    check_eq "dialog $n hint" "$hint $HINT" "$(control "$blk" 207 3) $(control "$blk" 207 12)"
}

# check_wait N TEXT: the Nth show of the please-wait window.
check_wait() {
    local blk
    blk=$(e2e_block "$1" TForm3)
    check_eq "please-wait $1" "WINDOW TForm3 1 $CAPTION" "$(head -n 1 <<<"$blk")"
    check_eq "please-wait $1 text" "1 -13 400 MS Sans Serif $2" \
        "$(e2e_controls "$blk" | awk -F'\t' '$1 == 301 { print $3, $9, $10, $11, $12 }')"
}

# check_wait_hidden N: the Nth block of the please-wait window shows it hidden.
check_wait_hidden() {
    check_eq "please-wait hidden" "WINDOW TForm3 0 $CAPTION" "$(e2e_block "$1" TForm3 | head -n 1)"
}

# check_box N CAPTION TEXT BUTTONS: the Nth box answered, its text escaped as
# the probe reports it (\r for CR).
check_box() {
    check_eq "box $1 caption" "$2" "$(e2e_nth "$1" CAPTION)"
    check_eq "box $1 text" "$3" "$(e2e_nth "$1" TEXT)"
    check_eq "box $1 buttons" "$4" "$(printf '%s\n' "$E2E_OUT" | awk -v n="$1" '/^CAPTION /{i++} i==n && /^BUTTON /{printf "%s%s", s, $2; s=" "}')"
}
check_boxes() { check_eq "boxes" "$1" "$(e2e_count CAPTION)"; }

# The sentences of each state.
not_installed=("This system [does not] contain the VQD driver."
               "This installer will install the VQD driver, version [$PV].")
installed() {  # VERSION enabled.|disabled.
    echo "This system contains version [$1] of the VQD driver and it is [$2]"
}
will_upgrade="This installer will upgrade the VQD driver to version [$PV]."
will_not=("This installer [will not] upgrade VQD, it contains version"
          "[$PV] which is the same or older than the one already"
          "installed.")

# The box that ends an Update or a Removal, and the answer to it. Windows
# 2000 restarts the CD-ROM drives instead of asking to reboot (there are none
# here, so nothing is left to reboot for); the others ask, and are told No:
# Yes would call ExitWindowsEx, which ends every Wine process with a window.
if [ "$fam" = 2K ]; then
    END_RC=0; END_ANSWER=1
else
    END_RC=6; END_ANSWER=7
fi
check_end_box() {  # N installed|removed
    if [ "$fam" = 2K ]; then
        check_box "$1" VQDINST "VQD driver installation complete." 1
    elif [ "$2" = installed ]; then
        check_box "$1" VQDINST 'Installation complete. You need to reboot your computer for the changes to take effect.\r\rReboot Now?' "6 7"
    else
        check_box "$1" VQDINST 'Uninstallation complete. You need to reboot your computer for the changes to take effect.\r\rReboot Now?' "6 7"
    fi
}
# Enable and Disable inside the loop: Windows 2000 restarts the drives on a
# worker thread and says it is done; the others need a reboot and ask.
if [ "$fam" = 2K ]; then LOOP_ANSWER=1; else LOOP_ANSWER=7; fi
check_loop_box() {  # N enabled|disabled
    if [ "$fam" = 2K ]; then
        check_box "$1" "VQD Utility" "Operation complete. The VQD driver has been $2." 1
    else
        check_box "$1" "$CAPTION" 'Operation complete. You need to reboot for the changes to take effect.\r\rReboot now?' "6 7"
    fi
}

# The steps of an Update or a Removal once its button is clicked: the
# please-wait window as shown, the final box read while it is up (with the
# please-wait window as it then is), then answered.
END_STEPS=(shown:TForm3 'dump:#32770' state:TForm3 "box:$END_ANSWER")

reset_system
# The rename to ".DIS" keeps the file times; Wine stores no creation time,
# so only the last-write time is compared.
T_PAYLOAD=$(payload_time)

# ---- 0. a driver installed and registered by someone else, without a
# count: the dialog goes by the count and reads "not installed", but Install
# finds the driver and runs the upgrade, which counts it once and copies
# nothing, so no reboot is needed. Outside Windows 2000 the program then says
# there was an error: after an interactive action it takes "no reboot
# needed" for "nothing was done".
cp "$PAYLOAD" "$active"
touch -m -d '2001-02-03 04:05:06' "$active"
t_left=$(mtime "$active")
case $fam in
    NT) vqdcheck service vqd create >/dev/null ;;
    2K) vqdcheck service vqd2k create >/dev/null; vqdcheck addfilter VQD2K >/dev/null ;;
esac
dialog dump:TForm1 click:TForm1:102 shown:TForm3 'dump:#32770' state:TForm3 box:1
check_rc 0
check_dialog 1 180 102 "[Remove VQD Driver (off)][Install][Close][Disable VQD Driver (off)]" "${not_installed[@]}"
check_wait 1 "Please wait while the driver is installed."
check_wait_hidden 2
check_boxes 1
if [ "$fam" = 2K ]; then
    check_box 1 VQDINST "VQD driver installation complete." 1
else
    check_box 1 VQDINST "There was an error installing/removing the VQD driver." 1
fi
enabled_as "$PAYLOAD" 1  # an install would have counted it twice
check_eq "$drv not copied" "$t_left" "$(mtime "$active")"
reset_system

# ---- 0b. the driver's name taken by a folder: Install cannot copy, and the
# box says so, on Windows 2000 too, where the drives' restart finds no drive
# failing: the box tells what the system holds.
mkdir -p "$active"
dialog dump:TForm1 click:TForm1:102 shown:TForm3 'dump:#32770' state:TForm3 box:1
check_wait 1 "Please wait while the driver is installed."
check_boxes 1
check_box 1 VQDINST "There was an error installing/removing the VQD driver." 1
check_rc 13
check_eq "$drv still a folder" folder "$([ -d "$active" ] && echo folder)"
registered no
count_is missing
rmdir "$active"
reset_system

# ---- 1. not installed: Install --------------------------------------------
dialog dump:TForm1 click:TForm1:102 "${END_STEPS[@]}"
check_rc $END_RC
check_dialog 1 180 102 "[Remove VQD Driver (off)][Install][Close][Disable VQD Driver (off)]" "${not_installed[@]}"
check_wait 1 "Please wait while the driver is installed."
check_wait_hidden 2
check_boxes 1
check_end_box 1 installed
enabled_as "$PAYLOAD" 1
check_eq "$drv written time" "$T_PAYLOAD" "$(mtime "$active")"
check_eq "drive database" "1 $(hex 1.0.3.40)00" "$(vqdcheck getvalue "$DRIVEDB" '')"
if [ "$fam" = 2K ]; then
    check_eq "INF copies in the store" 1 "$(for f in "$INF_STORE"/*.inf "$INF_STORE"/*.INF; do cmp -s "$f" "$VQD_WIN32_DIR/payload/VQD2K.INF" && echo; done | wc -l)"
fi
check_absent "$E2E_LOG"

# ---- 2. installed, not newer: read, then Close changes nothing --------------
before=$(system_state)
dialog dump:TForm1 click:TForm1:103 shown:TForm3
check_rc 1
check_nobox
check_report_line "NOWINDOW shown:TForm3"
check_dialog 1 180 102 "[Remove VQD Driver][Overwrite][Close][Disable VQD Driver][Advanced >>]" \
    "$(installed "$PV" enabled.)" "${will_not[@]}"
check_eq "system after Close" "$before" "$(system_state)"

# ---- 3. Overwrite copies the same version again --------------------------------
touch -m -d '2001-02-03 04:05:06' "$active"
dialog dump:TForm1 click:TForm1:102 "${END_STEPS[@]}"
check_rc $END_RC
check_eq "Update button" Overwrite "$(control "$(e2e_block 1 TForm1)" 102 12)"
check_wait 1 "Please wait while the driver is upgraded."
check_wait_hidden 2
check_boxes 1
check_end_box 1 installed
enabled_as "$PAYLOAD" 1
check_eq "$drv written again" "$T_PAYLOAD" "$(mtime "$active")"
check_absent "$E2E_LOG"

# ---- 4. installed and older: read, then the close box changes nothing --------
cp "$OLDER" "$active"
before=$(system_state)
dialog dump:TForm1 close:TForm1 shown:TForm3
check_rc 1
check_nobox
check_report_line "CLOSE TForm1"
check_report_line "NOWINDOW shown:TForm3"
check_dialog 1 180 102 "[Remove VQD Driver][Upgrade][Close][Disable VQD Driver][Advanced >>]" \
    "$(installed "$OV" enabled.)" "$will_upgrade"
check_eq "system after the close box" "$before" "$(system_state)"

# ---- 5. Upgrade ------------------------------------------------------------------
if [ "$fam" = 2K ]; then
    # With a CD-ROM drive to restart, on the worker thread: the please-wait
    # window stays up while the action and the restart run, and the program
    # answers the probe meanwhile (the second request comes while it works,
    # and it dispatches messages while it waits for the worker). Wine's class
    # installer cannot restart a device, so the reboot is still needed and
    # asked for, as on the other families.
    seed_cdroms "VQD Dialog Drive"
    dialog dump:TForm1 click:TForm1:102 shown:TForm3 state:TForm3 state:TForm3 'dump:#32770' state:TForm3 box:7
    remove_cdroms
    check_rc 6
    check_eq "please-wait while working" "WINDOW TForm3 1 $CAPTION|WINDOW TForm3 1 $CAPTION" \
        "$(e2e_block 2 TForm3 | head -n 1)|$(e2e_block 3 TForm3 | head -n 1)"
    check_wait_hidden 4
    check_box 1 VQDINST 'Installation complete. You need to reboot your computer for the changes to take effect.\r\rReboot Now?' "6 7"
else
    dialog dump:TForm1 click:TForm1:102 "${END_STEPS[@]}"
    check_rc $END_RC
    check_wait_hidden 2
    check_end_box 1 installed
fi
check_eq "Update button" Upgrade "$(control "$(e2e_block 1 TForm1)" 102 12)"
check_wait 1 "Please wait while the driver is upgraded."
check_boxes 1
enabled_as "$PAYLOAD" 1
check_eq "$drv written time" "$T_PAYLOAD" "$(mtime "$active")"

# ---- 6. Advanced, then Disable inside the loop ---------------------------------
dialog dump:TForm1 click:TForm1:105 dump:TForm1 click:TForm1:104 shown:TForm3 \
    "box:$LOOP_ANSWER" state:TForm3 dump:TForm1 click:TForm1:103
check_rc 1
# Expanded: the bottom row in sight, the hint gone, Debug Log still hidden.
check_dialog 2 220 105 "[Remove VQD Driver][Overwrite][Close][Disable VQD Driver][Advanced <<]" \
    "$(installed "$PV" enabled.)" "${will_not[@]}"
check_eq "Debug Log hidden" 0 "$(control "$(e2e_block 2 TForm1)" 106 3)"
check_wait 1 "Please wait while the driver is disabled."
check_wait_hidden 2
check_boxes 1
check_loop_box 1 disabled
# The loop comes back describing the disabled driver, still expanded, the
# focus where the click left it.
if [ "$fam" = 9x ]; then
    # Wine's version functions read no Linear Executable; the program reads a
    # VxD's version itself only under the name ".VXD", so MERIDAX.DIS shows
    # no version under Wine (Windows 98 reads it) and any carried one is newer.
    check_dialog 3 220 104 "[Remove VQD Driver][Upgrade][Close][Enable VQD Driver][Advanced <<]" \
        "$(installed "" disabled.)" "$will_upgrade"
else
    check_dialog 3 220 104 "[Remove VQD Driver][Overwrite][Close][Enable VQD Driver][Advanced <<]" \
        "$(installed "$PV" disabled.)" "${will_not[@]}"
fi
disabled_as "$PAYLOAD" 1
check_eq "$dis keeps the written time" "$T_PAYLOAD" "$(mtime "$disabled")"
check_absent "$E2E_LOG"

# ---- 7. Enable inside the loop; the close box ends it ------------------------------
dialog dump:TForm1 click:TForm1:105 click:TForm1:104 shown:TForm3 "box:$LOOP_ANSWER" \
    state:TForm3 dump:TForm1 close:TForm1
check_rc 1
if [ "$fam" = 9x ]; then  # no version of MERIDAX.DIS under Wine, as above
    check_dialog 1 180 102 "[Remove VQD Driver][Upgrade][Close][Enable VQD Driver][Advanced >>]" \
        "$(installed "" disabled.)" "$will_upgrade"
else
    check_dialog 1 180 102 "[Remove VQD Driver][Overwrite][Close][Enable VQD Driver][Advanced >>]" \
        "$(installed "$PV" disabled.)" "${will_not[@]}"
fi
check_wait 1 "Please wait while the driver is enabled."
check_wait_hidden 2
check_boxes 1
check_loop_box 1 enabled
check_dialog 2 220 104 "[Remove VQD Driver][Overwrite][Close][Disable VQD Driver][Advanced <<]" \
    "$(installed "$PV" enabled.)" "${will_not[@]}"
enabled_as "$PAYLOAD" 1
check_eq "$drv keeps the written time" "$T_PAYLOAD" "$(mtime "$active")"

# ---- 8. Shift+Ctrl+Alt reveals Debug Log; disabling an older driver and
# then Update enables it again and upgrades it (the driver is counted, so it
# is not installed a second time), with the log on.
cp "$OLDER" "$active"
dialog dump:TForm1 click:TForm1:105:shiftctrlalt dump:TForm1 click:TForm1:106 box:1 dump:TForm1 \
    click:TForm1:104 shown:TForm3 "box:$LOOP_ANSWER" dump:TForm1 click:TForm1:102 "${END_STEPS[@]}"
check_rc $END_RC
check_report_line "PRESS TForm1 105 shiftctrlalt"
check_dialog 2 220 105 "[Remove VQD Driver][Upgrade][Close][Disable VQD Driver][Advanced <<][Debug Log]" \
    "$(installed "$OV" enabled.)" "$will_upgrade"
check_boxes 3
check_box 1 VQDINST "Debug log enabled." 1
check_dialog 3 220 106 "[Remove VQD Driver][Upgrade][Close][Disable VQD Driver][Advanced <<][Debug Log]" \
    "$(installed "$OV" enabled.)" "$will_upgrade"
check_wait 1 "Please wait while the driver is disabled."
check_loop_box 2 disabled
if [ "$fam" = 9x ]; then  # no version of MERIDAX.DIS under Wine, as above
    ver=""
else
    ver=$OV
fi
check_dialog 4 220 104 "[Remove VQD Driver][Upgrade][Close][Enable VQD Driver][Advanced <<][Debug Log]" \
    "$(installed "$ver" disabled.)" "$will_upgrade"
check_wait 2 "Please wait while the driver is upgraded."
check_wait_hidden 3
check_end_box 3 installed
# The upgrade copied the newer driver; the count stays at one product.
enabled_as "$PAYLOAD" 1
check_eq "$drv written time" "$T_PAYLOAD" "$(mtime "$active")"
check_log_banner
check_log_has "MAIN: Upgrade switch activated"
check_log_lacks "MAIN: Install switch activated"
check_log_lacks "MAIN: Uninstall switch activated"

# ---- 8b. large fonts (120 pixels per inch): every control grows by 5/4, the
# font with it, and the window ends 13 pixels below the lowest button in
# sight, whatever Wine's frame then measures. Read only; Close.
if [ "$fam" = 2K ]; then
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 120 /f >/dev/null 2>&1 </dev/null ||
        e2e_die "cannot set 120 pixels per inch"
    dialog dump:TForm1 click:TForm1:105 dump:TForm1 click:TForm1:103
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1 </dev/null ||
        e2e_die "cannot set 96 pixels per inch again"
    check_rc 1
    for n in 1 2; do
        block=$(e2e_block "$n" TForm1)
        read -r _ width height cwidth cheight <<<"$(printf '%s\n' "$block" | grep '^SIZE ')"
        lowest=$([ "$n" = 1 ] && echo 105 || echo 104)  # Advanced, or the bottom row
        bottom=$(( $(control "$block" "$lowest" 6) + $(control "$block" "$lowest" 8) ))
        check_eq "120 dpi: height $n ends 13 below the lowest button" $((bottom + 13)) "$cheight"
        check_eq "120 dpi: client width $n" 531 "$cwidth"
        check_eq "120 dpi: Update button $n" "423 60 93 31 -14" \
            "$(e2e_controls "$block" | awk -F'\t' '$1 == 102 { print $5, $6, $7, $8, $9 }')"
    done
    # The pieces still touch, measured in the larger font.
    check_eq "120 dpi: lines" "$(printf '%s\n' "$(installed "$PV" enabled.)" "${will_not[@]}")" \
        "$(sentences "$(e2e_block 1 TForm1)")"
    check_pieces "$(e2e_block 1 TForm1)" any
fi

# ---- 9. Remove, through Advanced: gone whatever the count ----------------------
dialog dump:TForm1 click:TForm1:105 dump:TForm1 click:TForm1:101 "${END_STEPS[@]}"
check_rc $END_RC
check_dialog 1 180 102 "[Remove VQD Driver][Overwrite][Close][Disable VQD Driver][Advanced >>]" \
    "$(installed "$PV" enabled.)" "${will_not[@]}"
check_eq "Debug Log hidden again in a new run" 0 "$(control "$(e2e_block 2 TForm1)" 106 3)"
check_wait 1 "Please wait while the driver is removed."
check_wait_hidden 2
check_boxes 1
check_end_box 1 removed
check_absent "$active"
check_absent "$disabled"
registered no
count_is missing
check_eq "drive database removed" missing "$(vqdcheck getvalue "$DRIVEDB" '')"
check_absent "$E2E_LOG"

# ---- 10. an unsupported system: the warning, and no dialog at all
if [ "$fam" = 2K ]; then
    vqd_set_os win7 || e2e_die "cannot set Windows version win7"
    dialog box:1 shown:TForm1
    check_rc 1
    check_boxes 1
    check_box 1 VQDINST "Your operating system is unsupported at this time. Please watch $VQD_SUPPORT_HOST for updates." 1
    check_report_line "NOWINDOW shown:TForm1"
    check_eq "nothing installed" missing "$(count)"
    vqd_set_os "$os"
fi

reset_system
e2e_finish
