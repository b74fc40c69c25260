# Steering a populated world with the real mouse and keyboard:
#  - the population graph advances while the world runs (and the frame rate
#    is logged from its speed);
#  - Pause stops the world and the graph, Pause again lets them go on;
#  - hovering a Unit rings it in red, a left click keeps it (white rings,
#    the magnifier follows it), a right click lets it go;
#  - a slot button and the slot Save button write the kept Unit's genome to
#    that slot's file, and the slot panel then shows the Unit's glyph;
#  - keypad + and - move the tolerance bar; with a high tolerance hovering
#    also rings the Unit's relatives; keys 1 and 2 move the active slot;
#  - Save writes usersaved.sav, Load brings that world back exactly;
#  - ESC ends with status 0 and autosaves the world on the screen.
# Usage: bash test_steering.sh <build-dir>
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh" "${1:-}"
export LC_ALL=C

SAVE_LINES=2249626
SIM="$E2E_BUILD_DIR/tarn-sim"

# Screen regions (WxH+X+Y).
WORLD=825x525+182+43
GRAPH=659x140+173+602
MAGNIFIER=150x150+852+599
TOLERANCE_BAR=69x1+52+151 # the pale inner line of the bar, at most 69 wide
# Button centres.
PAUSE="115 93"
SAVE="82 76"
LOAD="120 76"
SLOT_SAVE="63 744"
slot_button() { echo "85 $((632 + 16 * $1))"; }
# A point on the background left of the panels: no button, not the world.
NEUTRAL="8 400"

# Colours.
RED='#FF0000'            # hover rings
WHITE='#FFFFFF'          # picked rings
BAR='#C8FFE1'            # inner line of the tolerance bar
GRAPH_POINT='#64FFE1'    # a sample of the population graph
ACTIVE_MARKER=200,255,225

# State file lines (counted from 1) of the unit blocks read here.
POSX_LINE=2165626
POSY_LINE=2166626
STATUS_LINE=2176626
GENOME_LINE=2213627

e2e_require
[ -x "$SIM" ] || e2e_skip "no headless runner at $SIM"

run=$(e2e_workdir steering)
shots="$run/shots"
mkdir -p "$shots"

# --- A populated world to start from ---------------------------------------
if ! (cd "$run" && "$SIM" --seed 5 --frames 3000 --save tarn.sav >sim.out 2>&1); then
  e2e_fail "headless runner failed: $(tail -3 "$run/sim.out")"
  e2e_finish
fi
prepared=$(cksum <"$run/tarn.sav")

e2e_start_xvfb
# shellcheck disable=SC2086
e2e_move_pointer $NEUTRAL
e2e_start_program "$run"
e2e_wait_window 30 || { e2e_fail "no program window within 30 s"; e2e_finish; }

# shot <name>: a screenshot in $shots/<name>.png; prints its path.
shot() {
  local f="$shots/$1.png" i
  for i in 1 2 3; do
    e2e_screenshot "$f" && [ -s "$f" ] && break
    sleep 0.2
  done
  echo "$f"
}

now() { date +%s.%N; }

# lit_slots <image>: the slots whose marker is lit, e.g. "3".
lit_slots() {
  local points='' i
  for i in 0 1 2 3 4 5 6; do points="$points 38,$((632 + 16 * i))"; done
  # shellcheck disable=SC2086
  e2e_pixels "$1" $points | awk -F'[=,]' -v lit="$ACTIVE_MARKER" \
    '$3 "," $4 "," $5 == lit { printf "%s%d", sep, ($2 - 632) / 16; sep = " " }'
}

# world_still <name>: two screenshots some frames apart; true when the world
# and the graph are the same in both.  The pointer must be off the world.
world_still() {
  local a b
  a=$(shot "$1-a")
  sleep 0.4
  b=$(shot "$1-b")
  [ "$(e2e_region_sum "$a" $WORLD)" = "$(e2e_region_sum "$b" $WORLD)" ] &&
    [ "$(e2e_region_sum "$a" $GRAPH)" = "$(e2e_region_sum "$b" $GRAPH)" ]
}

bar_width() { e2e_count_colour "$1" $TOLERANCE_BAR "$BAR"; }

# press <x> <y> [button]: a click held for several frames, for the buttons
# and picks that may fire more than once without harm (saving, loading,
# choosing a slot, picking): on a busy machine a short click can fall
# between two frames the program sees.
press() { E2E_CLICK_HOLD=0.15 e2e_click "$@"; }

# set_paused <paused|running> <name>: clicks Pause until the world is in the
# wanted state.  Pause toggles, so its effect is looked at after each click:
# a click the program did not see (the X events of a short click can reach
# it together, between two frames) or saw twice (a long one, at a high frame
# rate, outlasts the buttons' cooldown) is simply followed by another.
set_paused() {
  local want=$1 name=$2 try=0 hold
  # Holds of different lengths, so that neither fault can repeat for ever.
  for hold in 0.02 0.012 0.028 0.016 0.024 0.01 0.03 0.02 0.014 0.022; do
    try=$((try + 1))
    # shellcheck disable=SC2086
    E2E_CLICK_HOLD=$hold e2e_click $PAUSE
    # shellcheck disable=SC2086
    e2e_move_pointer $NEUTRAL
    sleep 0.1
    if world_still "$name-$try"; then
      [ "$want" = paused ] && return 0
    else
      [ "$want" = running ] && return 0
    fi
  done
  return 1
}

# --- The graph advances; frame rate ----------------------------------------
# The graph scrolls one column every fourth running frame and starts empty,
# so while it fills, the width of its drawn part counts frames.
first_w='' first_t='' last_w='' last_t='' samples=0 full=''
deadline=$(($(date +%s) + 20))
while [ "$(date +%s)" -lt "$deadline" ] && e2e_program_running; do
  t0=$(now)
  f=$(shot graph)
  t1=$(now)
  box=$(convert "$f" -crop $GRAPH +repage -alpha off -fill black +opaque "$GRAPH_POINT" \
    -format '%@' info: 2>/dev/null)
  w=${box%%x*}
  case "$w" in '' | *[!0-9]*) w=0 ;; esac
  [ "$box" = "${box#0x0}" ] || w=0
  if [ "$w" -gt 0 ] && [ "$w" -lt 659 ]; then
    t=$(echo "($t0 + $t1) / 2" | bc -l)
    if [ -z "$first_w" ]; then first_w=$w first_t=$t; fi
    last_w=$w last_t=$t
    samples=$((samples + 1))
    [ "$samples" -ge 8 ] && break
  elif [ "$w" -ge 659 ]; then
    full=$f
    break
  fi
  sleep 0.2
done
if [ -n "$first_w" ] && [ "$last_w" -gt "$first_w" ]; then
  e2e_pass "population graph advances while the world runs"
  fps=$(echo "4 * ($last_w - $first_w) / ($last_t - $first_t)" | bc -l)
  e2e_log "frame rate: about $(printf '%.0f' "$fps") frames/s" \
    "($((last_w - first_w)) graph columns in $(printf '%.2f' "$(echo "$last_t - $first_t" | bc -l)") s)"
elif [ -n "$full" ] && [ -z "$first_w" ]; then
  # Filled before the first look: it still scrolls.
  sleep 0.3
  if [ "$(e2e_region_sum "$full" $GRAPH)" != "$(e2e_region_sum "$(shot graph-full)" $GRAPH)" ]; then
    e2e_pass "population graph advances while the world runs (already full at first sight)"
  else
    e2e_fail "population graph is full and does not scroll"
  fi
else
  e2e_fail "population graph did not advance (widths seen: first '${first_w}', last '${last_w}')"
fi
e2e_program_running || { e2e_fail "program ended early; stderr: $(grep -v ALSA "$run/program.err" | tail -3)"; e2e_finish; }

# --- Pause ------------------------------------------------------------------
if set_paused paused paused; then
  e2e_pass "Pause stops the world and the graph"
else
  e2e_fail "world or graph still changes after clicking Pause"
fi
before=$(shot before) # the paused world, nothing selected

# --- Save -------------------------------------------------------------------
# shellcheck disable=SC2086
press $SAVE
# shellcheck disable=SC2086
e2e_move_pointer $NEUTRAL
if e2e_wait_lines 20 "$run/usersaved.sav" "$SAVE_LINES"; then
  e2e_pass "Save writes usersaved.sav with $SAVE_LINES lines"
else
  e2e_fail "usersaved.sav after Save: $(e2e_lines "$run/usersaved.sav") lines, expected $SAVE_LINES"
  e2e_finish
fi
sleep 0.5 # let the file be closed

# A Unit to point at: Alive, well inside the world, at least 30 cells from
# every other Unit, with a visible colour that is neither ring colour.  Also
# counts the Alive Units whose genome is clearly within the highest tolerance
# (mean gene difference below 39 of 40).  Prints "slot x y relatives" and
# then its 36 genes.
read -r unit ux uy relatives < <(awk -v px=$POSX_LINE -v py=$POSY_LINE -v ps=$STATUS_LINE \
  -v pg=$GENOME_LINE -v last=$SAVE_LINES '
  NR >= px && NR < px + 1000 { x[NR - px] = $1 }
  NR >= py && NR < py + 1000 { y[NR - py] = $1 }
  NR >= ps && NR < ps + 1000 { st[NR - ps] = $1 }
  NR >= pg { g[int((NR - pg) / 36), (NR - pg) % 36] = $1 }
  NR == last { exit }
  END {
    for (i = 0; i < 1000; i++) {
      if (st[i] != 1 || x[i] < 20 || x[i] > 804 || y[i] < 20 || y[i] > 504) continue
      r = g[i, 2]; gr = g[i, 3]; b = g[i, 7]
      if (r < 100 && gr < 100 && b < 100) continue
      if (r == 255 && (gr == 0 || gr == 255) && (b == gr)) continue
      near = 9999; rel = 0
      for (j = 0; j < 1000; j++) {
        if (j == i || st[j] != 1) continue
        d = (x[i] > x[j] ? x[i] - x[j] : x[j] - x[i]) + (y[i] > y[j] ? y[i] - y[j] : y[j] - y[i])
        if (d < near) near = d
        s = 0
        for (k = 0; k < 36; k++) s += (g[i, k] > g[j, k] ? g[i, k] - g[j, k] : g[j, k] - g[i, k])
        if (s / 36 < 39) rel++
      }
      if (near < 30) continue
      if (best == "" || (rel > 0 && bestrel == 0)) { best = i; bestrel = rel }
    }
    if (best == "") exit 1
    print best, x[best], y[best], bestrel
    line = ""
    for (k = 0; k < 36; k++) line = line g[best, k] "\n"
    printf "%s", line > "/dev/stderr"
  }' "$run/usersaved.sav" 2>"$run/unit.genes")
if [ -z "$unit" ]; then
  e2e_fail "test set-up: no lone Alive Unit in usersaved.sav to point at"
  e2e_finish
fi
sx=$((ux + 182)) sy=$((uy + 43))
box=23x23+$((sx - 11))+$((sy - 11)) # the Unit and its rings of radius 5 and 10
glyph=6x6+$((sx - 3))+$((sy - 3))
e2e_log "pointing at Unit $unit at cell ($ux, $uy), screen ($sx, $sy); $relatives close relatives"

# count <image> <region> <colour> minus the same count in the paused shot.
more_than_before() {
  echo $(($(e2e_count_colour "$1" "$2" "$3") - $(e2e_count_colour "$before" "$2" "$3")))
}

# --- Hover, pick, clear -----------------------------------------------------
# The pointer tip goes 3 pixels up and left of the Unit; the pointer picture
# then covers the lower right of the rings, the rest shows.
hx=$((sx - 3)) hy=$((sy - 3))
e2e_move_pointer $hx $hy
red=0
for _ in $(seq 10); do
  hovered=$(shot hover)
  red=$(more_than_before "$hovered" "$box" "$RED")
  [ "$red" -ge 20 ] && break
  sleep 0.3
done
if [ "$red" -ge 20 ]; then
  e2e_pass "hovering a Unit rings it in red ($red red pixels)"
else
  e2e_fail "hovering Unit $unit at ($sx, $sy): only $red new red pixels around it"
fi

press $hx $hy
# shellcheck disable=SC2086
e2e_move_pointer $NEUTRAL
white=0 red=0 magnified=0
for _ in $(seq 10); do
  picked=$(shot picked)
  white=$(more_than_before "$picked" "$box" "$WHITE")
  red=$(more_than_before "$picked" "$box" "$RED")
  magnified=$(more_than_before "$picked" $MAGNIFIER "$WHITE")
  [ "$white" -ge 20 ] && [ "$red" -le 0 ] && [ "$magnified" -ge 100 ] && break
  sleep 0.3
done
if [ "$white" -ge 20 ] && [ "$red" -le 0 ]; then
  e2e_pass "a left click keeps the Unit: white rings once the pointer leaves"
else
  e2e_fail "after a left click on Unit $unit: $white new white and $red new red pixels around it"
fi
if [ "$magnified" -ge 100 ]; then
  e2e_pass "the magnifier follows the picked Unit"
else
  e2e_fail "magnifier shows only $magnified more white pixels with Unit $unit picked"
fi

# --- Slots --------------------------------------------------------------------
lit=$(lit_slots "$picked")
e2e_expect_eq "slot 0 is active at start" 0 "$lit"
# shellcheck disable=SC2046
press $(slot_button 3)
# shellcheck disable=SC2086
e2e_move_pointer $NEUTRAL
e2e_expect_eq "the slot 3 button makes slot 3 active" 3 "$(lit_slots "$(shot slot3)")"

e2e_expect_eq "no sample3.dna before saving to the slot" none "$(e2e_lines "$run/sample3.dna")"
# shellcheck disable=SC2086
press $SLOT_SAVE
# shellcheck disable=SC2086
e2e_move_pointer $NEUTRAL
if e2e_wait_lines 10 "$run/sample3.dna" 36; then
  e2e_pass "slot Save writes sample3.dna with 36 lines"
  if cmp -s "$run/sample3.dna" "$run/unit.genes"; then
    e2e_pass "sample3.dna holds the picked Unit's genes"
  else
    e2e_fail "sample3.dna differs from the genes of Unit $unit: $(diff "$run/unit.genes" "$run/sample3.dna" | head -4 | tr '\n' ' ')"
  fi
else
  e2e_fail "sample3.dna after slot Save: $(e2e_lines "$run/sample3.dna") lines, expected 36"
fi

# The panel re-reads the slot files every 50 frames; until then slot 3's
# square stays black.
square3=6x6+131+677
shown=0
for _ in $(seq 20); do
  panel=$(shot slot-glyph)
  shown=$(e2e_count_lit "$panel" $square3)
  [ "$shown" -gt 0 ] && break
  sleep 0.25
done
if [ "$shown" -gt 0 ]; then
  # Every pixel the slot's glyph sets has the colour of the same pixel of
  # the Unit's glyph in the world (where the Unit's unset pixels show cells).
  mismatch=$(join <(e2e_region_pixels "$panel" $square3 | sort) \
    <(e2e_region_pixels "$picked" "$glyph" | sort) |
    awk '$2 != "#000000" && $2 != $3 { n++ } END { print n + 0 }')
  if [ "$mismatch" -eq 0 ]; then
    e2e_pass "slot 3 shows the saved Unit's glyph ($shown pixels)"
  else
    e2e_fail "slot 3's glyph differs from Unit $unit's glyph in $mismatch pixels"
  fi
else
  e2e_fail "slot 3's square stays black after saving to it"
fi

# shellcheck disable=SC2086
press $NEUTRAL 3
cleared=0
for _ in $(seq 10); do
  f=$(shot cleared)
  if [ "$(e2e_region_sum "$f" $WORLD)" = "$(e2e_region_sum "$before" $WORLD)" ] &&
    [ "$(e2e_region_sum "$f" $MAGNIFIER)" = "$(e2e_region_sum "$before" $MAGNIFIER)" ]; then
    cleared=1
    break
  fi
  sleep 0.3
done
if [ "$cleared" = 1 ]; then
  e2e_pass "a right click lets the Unit go: world and magnifier as before the pick"
else
  e2e_fail "after a right click the world or the magnifier still differs from before the pick" \
    "($(more_than_before "$f" "$box" "$WHITE") white pixels around Unit $unit)"
fi

# --- Keys: tolerance ----------------------------------------------------------
widths=$(bar_width "$f")
E2E_HELD_KEYS=KP_Add
xdotool keydown KP_Add
for _ in $(seq 20); do
  w=$(bar_width "$(shot tolerance-up)")
  widths="$widths $w"
  [ "$w" -ge 69 ] && break
  sleep 0.1
done
xdotool keyup KP_Add
E2E_HELD_KEYS=
if [ "${widths%% *}" = 0 ] && [ "${widths##* }" = 69 ] &&
  [ "$(tr ' ' '\n' <<<"$widths" | sort -n | tr '\n' ' ')" = "$(tr ' ' '\n' <<<"$widths" | tr '\n' ' ')" ]; then
  e2e_pass "holding keypad + grows the tolerance bar to its full length"
else
  e2e_fail "tolerance bar widths while keypad + was held: $widths (expected growing from 0 to 69)"
fi

# With the tolerance at its top, hovering the Unit rings its relatives too.
if [ "$relatives" -gt 0 ]; then
  e2e_move_pointer $hx $hy
  wide=0
  base=$(e2e_count_colour "$hovered" $WORLD "$RED")
  for _ in $(seq 10); do
    wide=$(e2e_count_colour "$(shot hover-wide)" $WORLD "$RED")
    [ "$wide" -gt $((base + 10)) ] && break
    sleep 0.3
  done
  if [ "$wide" -gt $((base + 10)) ]; then
    e2e_pass "with a high tolerance hovering also rings the Unit's relatives"
  else
    e2e_fail "tolerance 40: $wide red pixels in the world, $base at tolerance 0 ($relatives relatives)"
  fi
  # shellcheck disable=SC2086
  e2e_move_pointer $NEUTRAL
else
  e2e_log "Unit $unit has no close relatives; tolerance hover check left out"
fi

E2E_HELD_KEYS=KP_Subtract
xdotool keydown KP_Subtract
for _ in $(seq 20); do
  w=$(bar_width "$(shot tolerance-down)")
  [ "$w" -eq 0 ] && break
  sleep 0.1
done
xdotool keyup KP_Subtract
E2E_HELD_KEYS=
e2e_expect_eq "holding keypad - empties the tolerance bar" 0 "$w"

# --- Keys: active slot ----------------------------------------------------------
# A held key steps the slot once a frame, so while it is held the lit marker
# runs round the seven slots and screenshots catch it in different places.
for k in 2 1; do
  E2E_HELD_KEYS=$k
  xdotool keydown $k
  seen='' bad=''
  for i in 1 2 3 4 5 6; do
    l=$(lit_slots "$(shot "key$k-$i")")
    case "$l" in [0-6]) seen="$seen $l" ;; *) bad="$bad '$l'" ;; esac
    sleep 0.05
  done
  xdotool keyup $k
  E2E_HELD_KEYS=
  distinct=$(tr ' ' '\n' <<<"$seen" | sort -u | grep -c .)
  if [ -z "$bad" ] && [ "$distinct" -ge 2 ]; then
    e2e_pass "holding key $k moves the active slot marker (seen at:$seen)"
  else
    e2e_fail "holding key $k: markers seen at:$seen; shots without exactly one lit marker:$bad"
  fi
done
sleep 0.2
l=$(lit_slots "$(shot keys-released)")
case "$l" in
  [0-6]) e2e_pass "one slot stays active after the keys are let go (slot $l)" ;;
  *) e2e_fail "after letting go of the keys the lit markers are '$l'" ;;
esac

# --- Pause again, Load --------------------------------------------------------
if set_paused running running; then
  e2e_pass "Pause again lets the world and the graph go on"
else
  e2e_fail "world and graph stand still after clicking Pause a second time"
fi
sleep 1
if set_paused paused paused-again; then
  e2e_pass "Pause stops the world once more"
else
  e2e_fail "world still changes after the third click on Pause"
fi
if [ "$(e2e_region_sum "$(shot paused-again)" $WORLD)" = "$(e2e_region_sum "$before" $WORLD)" ]; then
  e2e_fail "test set-up: the world did not change while it ran"
fi

# shellcheck disable=SC2086
press $LOAD
# shellcheck disable=SC2086
e2e_move_pointer $NEUTRAL
restored=0
for _ in $(seq 40); do
  f=$(shot loaded)
  if [ "$(e2e_region_sum "$f" $WORLD)" = "$(e2e_region_sum "$before" $WORLD)" ]; then
    restored=1
    break
  fi
  e2e_program_running || break
  sleep 0.25
done
if [ "$restored" = 1 ]; then
  e2e_pass "Load brings back the saved world exactly"
else
  e2e_fail "after Load the world differs from the one saved to usersaved.sav"
fi

# --- ESC ----------------------------------------------------------------------
if e2e_program_running; then
  e2e_hold_key Escape 30
  e2e_wait_exit 20
  e2e_expect_eq "exit status after ESC" 0 "$E2E_STATUS"
  e2e_expect_eq "lines in tarn.sav after ESC" "$SAVE_LINES" "$(e2e_lines "$run/tarn.sav")"
  if [ "$(cksum <"$run/tarn.sav")" = "$prepared" ]; then
    e2e_fail "tarn.sav is still the prepared world after ESC"
  elif cmp -s "$run/tarn.sav" "$run/usersaved.sav"; then
    # The world was paused right after the load, so it is the loaded one.
    e2e_pass "ESC autosaves the world on the screen (the loaded one)"
  else
    e2e_fail "tarn.sav after ESC differs from the loaded usersaved.sav" \
      "(first difference: $(cmp "$run/tarn.sav" "$run/usersaved.sav" 2>&1 | head -1))"
  fi
else
  e2e_wait_exit 1
  e2e_fail "program ended by itself (status $E2E_STATUS); stderr: $(grep -v ALSA "$run/program.err" | tail -3)"
fi

e2e_finish
