#!/usr/bin/env bash
# Takes the screenshots of the manual (doc/manual/images/*.png) from the real
# program: builds it in build/, starts it on the sample data in a folder of
# its own under a virtual display (Xvfb), drives it with xdotool as a user
# would, with a local SMTP server taking its mails, and captures each window
# with ImageMagick's import. Controls are found from the dialog templates in
# res/*.ui, so the script follows changes of the layout; run it again after
# such a change.
#
#   bash scripts/make-manual-shots.sh [output folder]   (default doc/manual/images)
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
out=$(realpath -m "${1:-doc/manual/images}")

if [ -z "${MOLVANE_SHOTS_DISPLAY:-}" ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target molvane >/dev/null
  # A display of its own, the size of a small office screen.
  exec env MOLVANE_SHOTS_DISPLAY=1 xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$out"
fi

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$out"

# The mail server that takes the start and result mails.
mkdir "$work/mail"
/usr/bin/python3 tests/support/smtp_server.py "$work/mail" >"$work/mail.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 300); do grep -q "^PORT " "$work/mail.log" && break; sleep 0.1; done
port=$(sed -n 's/^PORT //p' "$work/mail.log")
[ -n "$port" ] || { echo "the SMTP server did not start:" >&2; cat "$work/mail.log" >&2; exit 1; }

# The program in a folder of its own with the samples: three questions in
# file order, mails to the local server.
app=$work/app
mkdir "$app"
cp -r sample/. "$app"/
cp build/molvane build/molvane-mail.so build/molvane-sound.so "$app"/
ini() {
  # Parameter.INI from UTF-8 lines, in Shift-JIS with CR LF.
  printf '%s\r\n' "$@" | iconv -f UTF-8 -t CP932 > "$app/Parameter.INI"
}
ini "[LIFE]" "1=3" "[TIME_LIMIT]" "1=20" "[QUESTION]" "1=sample0524.txt" \
    "[SMTP]" "1=127.0.0.1" "[PORT]" "1=$port" "[FROM]" "1=molvane@example.jp" "[TO]" "1=kantoku@example.jp" \
    "[ID]" "1=" "[PW]" "1=" "[QUESTION_CNT]" "1=3" "[SEQ]" "1=0" "[SOUND]" "SW=0" "[MAIL]" "1=1"

window() {
  # The newest window with exactly this title.
  local id
  for _ in $(seq 1 100); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -n 1 || true)
    [ -n "$id" ] && { echo "$id"; return; }
    sleep 0.1
  done
  echo "no window named $1" >&2
  exit 1
}
gone() {
  for _ in $(seq 1 100); do
    xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  echo "the window $1 stayed open" >&2
  exit 1
}
height() { xdotool getwindowgeometry "$1" | sed -n 's/.*Geometry: [0-9]*x\([0-9]*\).*/\1/p'; }
click() {
  # click <window> <template> <control>
  local xy
  xy=$(python3 scripts/ui_locate.py "res/$2.ui" "$3" "$(height "$1")")
  xdotool mousemove --window "$1" ${xy} click 1
  sleep 0.3
}
keys() {
  # keys <window> <key>...
  local w=$1
  shift
  xdotool windowfocus --sync "$w" key --delay 80 "$@"
  sleep 0.3
}
shot() {
  sleep 0.4
  import -window "$1" "$out/$2.png"
  echo "$out/$2.png"
}
answer_box() {
  # Answers the message box with the given text shown, after a screenshot.
  local box
  box=$(window Molvane)
  [ -n "${2:-}" ] && shot "$box" "$2"
  keys "$box" Return
}

cd "$app"
./molvane >"$work/molvane.log" 2>&1 &
pids+=($!)
cd "$repo"
main=$(window "Molvane Ver 1.0.0")
sleep 1

# Start without a name.
click "$main" CTestDlg startButton
answer_box Molvane message-name

# The idle window with a name typed.
click "$main" CTestDlg nameEdit
xdotool type --delay 120 "試験太郎"
shot "$main" main-idle

# A question, the verdict popup, the end and the result mail.
click "$main" CTestDlg startButton
sleep 1.5
shot "$main" main-question
click "$main" CTestDlg answerButton1
judge=$(window "正誤判定")
shot "$judge" judge
gone "正誤判定"
sleep 0.3
click "$main" CTestDlg answerButton2
gone "正誤判定"
sleep 0.3
click "$main" CTestDlg answerButton3
answer_box Molvane test-end
answer_box Molvane mail-sent

# The editor, unlocked, with a question loaded.
click "$main" CTestDlg editButton
editor=$(window "編集画面")
click "$editor" CEditDlg authButton
# Enter does nothing in the editor: open the list and close it again by a
# second click, which leaves the keyboard with it, then choose with the arrows.
click "$editor" CEditDlg numberList
click "$editor" CEditDlg numberList
keys "$editor" Down Down
shot "$editor" editor
click "$editor" CEditDlg backButton
gone "編集画面"

# The settings dialog with a mail account over STARTTLS, unlocked.
ini "[LIFE]" "1=3" "[TIME_LIMIT]" "1=20" "[QUESTION]" "1=sample0524.txt" \
    "[SMTP]" "1=smtp.example.jp" "[PORT]" "1=587" "[FROM]" "1=molvane@example.jp" "[TO]" "1=kantoku@example.jp" \
    "[ID]" "1=molvane@example.jp" "[PW]" "1=password" "[QUESTION_CNT]" "1=10" "[SEQ]" "1=1" "[SOUND]" "SW=0" \
    "[MAIL]" "1=1"
keys "$main" alt+c
shot "$(xdotool search --onlyvisible --class molvane | tail -n 1)" menu-settings || true
keys "$main" a
settings=$(window "出題設定画面")
click "$settings" CSettingDlg authButton
shot "$settings" settings
click "$settings" CSettingDlg backButton
gone "出題設定画面"

# The About box.
keys "$main" alt+h v
about=$(window "バージョン情報")
shot "$about" about
keys "$about" Escape

echo "mails received: $(ls "$work/mail"/*.json 2>/dev/null | wc -l)"
