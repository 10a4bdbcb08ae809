#!/usr/bin/env bash
# Helpers of the end-to-end output tests (test_output*.sh); builds on scan_lib.sh.
#
#   output_scan                    scans by the menu; ORIGIN_X ORIGIN_Y: where the canvas shows
#                                  picture pixel (0, 0) on the screen
#   output_drag X Y W H            drags the range from picture pixel (X, Y) to (X+W, Y+H); the
#                                  screen pattern's part there is written to RANGE_PNG
#   output_click X Y               a plain click on the canvas (drops the range)
#   output_file_entry N            the file menu's entry N: 0 save, 1 clipboard, 2 print, 3 quit
#   output_dialog TITLE_REGEX      waits for a window of that title and gives it the focus
#   output_close_message           waits for a message box, closes it with OK
#   output_save PATH TITLE_REGEX   the save dialog of that title: enters PATH and saves
#   output_enter_text TEXT         enters TEXT into the focused field: typed when it is ASCII,
#                                  else pasted (xdotool's typing of other characters remaps keys
#                                  on the fly and loses some)
#   output_accept TITLE_REGEX      presses Return in the dialog until it closes
#   output_start_cups              a private CUPS server with a PDF queue as its default; the
#                                  queue writes CUPS_PDF
#   OUTPUT_TOOL                    tests/output/output_e2e_tool
# shellcheck source=scan_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/scan_lib.sh"

OUTPUT_TOOL="$E2E_BUILD_DIR/tests/output/output_e2e_tool"
[ -x "$OUTPUT_TOOL" ] || e2e_fail "missing $OUTPUT_TOOL (build the tests)"

output_scan() {
    e2e_menu "$APP_WID" s Return
    scan_wait_canvas >/dev/null
    local origin
    origin=$(grep -o 'canvas origin [0-9]*,[0-9]*' "$E2E_TMP/canvas.log" | grep -o '[0-9]*,[0-9]*$')
    [ -n "$origin" ] || e2e_fail "no canvas origin: $(cat "$E2E_TMP/canvas.log")"
    ORIGIN_X=${origin%,*}
    ORIGIN_Y=${origin#*,}
}

output_drag() {
    local x=$1 y=$2 w=$3 h=$4
    e2e_focus
    xdotool mousemove --sync $((ORIGIN_X + x)) $((ORIGIN_Y + y)) mousedown 1 \
        mousemove --sync $((ORIGIN_X + x + w / 2)) $((ORIGIN_Y + y + h / 2)) \
        mousemove --sync $((ORIGIN_X + x + w)) $((ORIGIN_Y + y + h)) mouseup 1
    RANGE_PNG="$E2E_TMP/range-${x}-${y}-${w}x${h}.png"
    convert "$PATTERN" -crop "${w}x${h}+${x}+${y}" +repage "$RANGE_PNG" ||
        e2e_fail "could not crop the pattern"
}

output_click() {
    e2e_focus
    xdotool mousemove --sync $((ORIGIN_X + $1)) $((ORIGIN_Y + $2)) click 1
}

output_file_entry() {
    local keys=(Return)
    case $1 in
        1) keys=(Down Return) ;;
        2) keys=(Down Down Return) ;;
        3) keys=(Up Return) ;;
    esac
    e2e_menu "$APP_WID" f "${keys[@]}"
}

output_dialog() {
    local id
    id=$(e2e_wait_window "$1" 30) || e2e_fail "no window titled $1"
    e2e_focus "$id"
}

output_close_message() {
    output_dialog '^ヌマリカ$'
    xdotool key --clearmodifiers Return
    e2e_wait_no_window '^ヌマリカ$' 10 || e2e_fail "the message box did not close"
}

output_save() {
    local path=$1 title=$2
    output_dialog "$title"
    # The name box has the focus and starts empty.
    output_enter_text "$path"
    output_accept "$title"
}

_output_clipboard_is() { [ "$(xclip -selection clipboard -o 2>/dev/null)" = "$1" ]; }

output_enter_text() {
    local text=$1
    if LC_ALL=C grep -q '^[ -~]*$' <<<"$text"; then
        xdotool type --delay 10 "$text"
        return
    fi
    printf '%s' "$text" >"$E2E_TMP/paste.txt"
    e2e_bg xclip xclip -quiet -selection clipboard -i "$E2E_TMP/paste.txt"
    e2e_poll 10 _output_clipboard_is "$text" || e2e_fail "could not put the text on the clipboard"
    xdotool key --clearmodifiers ctrl+v
}

# The name boxes complete file names in a popup that the file system model opens when it has
# read a folder, at a moment of its own; a Return while it is open only closes it.
output_accept() {
    local title=$1
    for _ in 1 2 3 4 5; do
        xdotool key --clearmodifiers Return
        e2e_wait_no_window "$title" 3 && return 0
    done
    e2e_fail "the dialog $title did not close"
}

# The queue is a PDF printer on CUPS's file device: cupsd runs Qt's PDF through the filters a
# PDF printer gets (pdftopdf) and itself writes the result to CUPS_PDF in the scratch folder.
# Every folder cupsd writes lies there too (cups-pdf would write into the job owner's home).
output_start_cups() {
    local root=$E2E_TMP/cups
    mkdir -p "$root"/{conf/ppd,spool,cache,state,log,run,tmp} "$E2E_TMP/printed"
    # The filters run as lp: they need to reach the configuration and write temporary files.
    chmod 755 "$E2E_TMP" "$root"
    chmod 1777 "$root/tmp"
    cat >"$root/conf/cupsd.conf" <<CONF
LogLevel warn
Listen $CUPS_SERVER
Browsing No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
CONF
    cat >"$root/conf/cups-files.conf" <<CONF
ServerRoot $root/conf
ServerKeychain $root/conf/ssl
CreateSelfSignedCerts No
RequestRoot $root/spool
CacheDir $root/cache
StateDir $root/state
TempDir $root/tmp
Printcap $root/run/printcap
ErrorLog $root/log/error_log
AccessLog $root/log/access_log
PageLog $root/log/page_log
SystemGroup root
FileDevice Yes
CONF
    # A4 with no hardware margins, as a PDF printer has.
    cat >"$root/pdf.ppd" <<'PPD'
*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*ModelName: "PDF file"
*NickName: "PDF file"
*ColorDevice: True
*cupsFilter: "application/vnd.cups-pdf 0 -"
*OpenUI *PageSize: PickOne
*DefaultPageSize: A4
*PageSize A4/A4: ""
*CloseUI: *PageSize
*DefaultImageableArea: A4
*ImageableArea A4/A4: "0 0 595 842"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
PPD
    e2e_bg cupsd cupsd -f -c "$root/conf/cupsd.conf" -s "$root/conf/cups-files.conf"
    e2e_poll 20 lpstat -r >/dev/null 2>&1 || e2e_fail "cupsd did not start: $(cat "$root/log/error_log")"
    CUPS_PDF=$E2E_TMP/printed/cups.pdf
    # CUPS 2.4.13 and later write only into a file that is already there.
    : >"$CUPS_PDF"
    # The scheduler may answer before it takes administrative requests.
    e2e_poll 20 lpadmin -p PDF -v "file://$CUPS_PDF" -P "$root/pdf.ppd" -E 2>"$root/log/lpadmin.log" ||
        e2e_fail "could not add the PDF queue: $(cat "$root/log/lpadmin.log")"
    lpadmin -d PDF || e2e_fail "could not make PDF the default queue"
}
