#!/usr/bin/env bash
# The sample certificate with the ISO/IEC 17025 7.8 elements given at issue
# (place, receipt, condition, customer's data, external providers), made with
# tcal-cli alone from two record files: imported by the enrolled technician, the key trusted, reviewed,
# approved and issued. Writes docs/calibration-certificate-17025-sample.pdf and
# a PNG of its first page.
set -euo pipefail
cd "$(dirname "$0")/.."
cli=${1:-build/cli/tcal-cli}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen
mkdir -p "$work/json" "$work/config/TCal"
record() {   # stage, hour, errors at -50 75 200 325 450 °C
    local stage=$1 hour=$2; shift 2
    local refs=(-50 75 200 325 450) points="" i=0
    for e in "$@"; do
        points+=$(printf '%s{"reading":%s,"reference":%s,"status":"recorded","time":"2026-12-07T%02d:%02d:00.000Z"}' \
            "${points:+,}" "$(echo "${refs[$i]} + $e" | bc)" "${refs[$i]}" "$hour" $((2 * i + 2)))
        i=$((i + 1))
    done
    cat <<JSON
{"format":"tcal-calibration-record","version":2,"stage":"$stage","started":"2026-12-07T$(printf %02d "$hour"):00:00.000Z",
 "header":{"ambient":"23.5","description":"Boiler inlet","rangeLower":-50,"rangeUpper":450,"reference":"Calibrator CX-9",
 "referenceDue":"2027-06-30","referenceCertificate":"RC-2026-118","referenceOverride":"","laboratory":"Plant metrology lab",
 "procedure":"QP-CAL-012 rev. C","serial":"SN-7001","tag":"TT-101","technician":"Li Wei","tolerance":0.5,
 "toleranceKind":"degrees","unit":"°C","uncertainty":0.12,"resolution":0.1,"address":192,"inputType":"Pt100"},
 "points":[$points]$( [ "$stage" = as-left ] && echo ',"adjusted":true' )}
JSON
}
record as-found 9 0.6 0.7 0.9 1.1 1.3 > "$work/json/found.json"
record as-left 10 0.0 0.1 -0.1 0.1 0.2 > "$work/json/left.json"
printf '[certificate]\nlaboratoryAddress="12 Foundry Road, Wuxi"\ncustomer=Kiln Works Ltd\ncustomerAddress="3 Kiln Lane, Yixing"\n' \
    > "$work/config/TCal/tcal.conf"
db=(records --records "$work/db")
# Three persons with keys of their own (one sample passphrase for all three).
(umask 077 && printf 'sample passphrase\n' > "$work/passphrase")
for person in "Li Wei:performs" "L. Wang:reviews" "M. Zhou:approves"; do
    "$cli" "${db[@]}" person enrol "${person%%:*}" --roles "${person#*:}" --passphrase-file "$work/passphrase"
done
"$cli" "${db[@]}" import "$work/json" --person "Li Wei" --passphrase-file "$work/passphrase"
"$cli" "${db[@]}" trust add --name "bench 1"
for n in 1 2; do
    "$cli" "${db[@]}" approve $n --as reviewer --person "L. Wang" --function "Quality engineer" --passphrase-file "$work/passphrase"
    "$cli" "${db[@]}" approve $n --as approver --person "M. Zhou" --function "Head of laboratory" --passphrase-file "$work/passphrase"
done
"$cli" "${db[@]}" certificate 1 2 --out docs/calibration-certificate-17025-sample.pdf \
    --place "Plant metrology lab, 12 Foundry Road, Wuxi (permanent laboratory)" --received 2026-12-04 \
    --condition "Undamaged, terminals clean, seal intact" --customer-supplied tag,description
"$cli" "${db[@]}" verify
pdftoppm -png -r 110 -singlefile -f 1 docs/calibration-certificate-17025-sample.pdf docs/calibration-certificate-17025-sample
