#!/usr/bin/env bash
# Printing through the real print dialog: a range to a PDF file (the dialog's print-to-file),
# and the whole picture, larger than the page, to a CUPS queue that writes PDF.
# Each page, rendered at 96 dpi, carries the picture pixel for pixel at the top-left of the
# printable area, on one page.
source "$(dirname "$0")/output_lib.sh"

# A CUPS server needs root; without it only printing to a file is tried.
with_cups=false
if [ "$(id -u)" = 0 ] && command -v cupsd >/dev/null && [ -x /usr/lib/cups/filter/pdftopdf ]; then
    with_cups=true
fi

scan_setup 1280x800
$with_cups && output_start_cups
e2e_start_app
# The cursor overlay goes to the bottom-right corner, which the page cuts off.
xdotool mousemove --sync 1270 790
output_scan

page_of() {  # PDF -> one page at 96 dpi in $E2E_TMP/page.png
    local pages
    pages=$(pdfinfo "$1" | awk '/^Pages:/ {print $2}')
    [ "$pages" = 1 ] || e2e_fail "$1 has ${pages:-no} pages, not one"
    pdftocairo -r 96 -png -singlefile "$1" "$E2E_TMP/page" || e2e_fail "cannot render $1"
}

_pdf_complete() { [ -s "$1" ] && pdfinfo "$1" >/dev/null 2>&1; }

# --- a range to a PDF file ------------------------------------------------------------------
output_drag 50 40 173 91
output_file_entry 2
output_dialog '^印刷$'
# The last printer of the list writes a PDF file; its name box takes the path.
$with_cups && xdotool key --clearmodifiers alt+n End
pdf="$E2E_TMP/printed/range.pdf"
mkdir -p "$(dirname "$pdf")"
xdotool key --clearmodifiers alt+f ctrl+a
output_enter_text "$pdf"
output_accept '^印刷$'
e2e_poll 30 _pdf_complete "$pdf" ||
    e2e_fail "no PDF file at $pdf: $(find "$E2E_TMP" -name '*.pdf')"
page_of "$pdf"
"$OUTPUT_TOOL" find-picture "$E2E_TMP/page.png" "$RANGE_PNG" ||
    e2e_fail "the range is not on the page as it is on the screen"
# No message after a print.
! e2e_window_id '^ヌマリカ$' >/dev/null || e2e_fail "a message box after printing"

if ! $with_cups; then
    echo "PASS (printing to a CUPS queue was not tried: it needs root, cupsd and cups-filters)"
    exit 0
fi

# --- the whole picture to the CUPS queue ------------------------------------------------------
output_click 10 10  # a plain click drops the range
output_file_entry 2
output_dialog '^印刷$'
xdotool key --clearmodifiers alt+n Home Return
e2e_wait_no_window '^印刷$' 20 || e2e_fail "the print dialog did not close"
# The file is whole once the job is done.
_printed() {
    [ -n "$(lpstat -W completed -o PDF)" ] && [ -z "$(lpstat -o PDF)" ] && _pdf_complete "$CUPS_PDF"
}
e2e_poll 60 _printed || e2e_fail "the CUPS queue wrote no PDF: $(tail -n 20 "$E2E_TMP/cups/log/error_log")"
page_of "$CUPS_PDF"
"$OUTPUT_TOOL" find-picture "$E2E_TMP/page.png" "$PATTERN" ||
    e2e_fail "the whole picture is not on the CUPS page as it is on the screen"
echo "PASS"
