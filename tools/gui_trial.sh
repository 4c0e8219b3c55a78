#!/usr/bin/env bash
# Play quarn in the real xboard GUI under a virtual X server and summarise
# what happened: results, how each game ended, the commands xboard sent and
# the engines' replies, error lines, rejected moves, moves that xboard
# relayed differently from how the engine announced them, time forfeits and
# crashes.
#
# Needs Debian's xboard, xvfb and (for normal chess) fairymax:
#   apt-get install -y xboard xvfb xauth fairymax
#
# Usage: tools/gui_trial.sh [options]
#   -e ENGINE    quarn binary (default: build-play/quarn, else build/quarn)
#   -v VARIANTS  "normal" (quarn vs fairymax), "marseillais" (quarn vs
#                quarn) or both (default "normal marseillais")
#   -g GAMES     games per match (default 4 for normal, 2 for marseillais)
#   -t TC        xboard time control, minutes[:seconds] (default 0:30)
#   -m MPS       moves per session (default 40); "inc" plays the whole game
#                in one period (-inc, see -I), so xboard sends "level 0 ..."
#   -I SECONDS   the increment with -m inc (default 0)
#   -o DIR       output directory (default: a new temporary directory)
#   -p FEN       start every game from this position (xboard's -lpf)
#   -O ENGINE    quarn's opponent in normal chess (default fairymax)
#   -T SECONDS   wall-clock limit for one match (default 900)
#   -r           raw: no init-string work-around (see below)
#   -A           only analyse the logs already in DIR (needs -o)
#
# Debian's xboard 4.9.1 sends the second engine "variant " with an empty
# name in a Marseillais match, so that engine would stay in normal chess.
# Unless -r is given, the second engine's init string therefore carries the
# variant itself ("new", "variant marseillais", "random"); the empty
# "variant " line that follows is ignored by quarn. This changes only what
# the GUI sends, not the engine.
#
# Outputs in DIR: <variant>.debug (xboard's log of all engine traffic),
# <variant>.pgn, <variant>.stderr, summary.txt. Exit status 1 when a match
# did not finish, or a game ended by a time forfeit, a crash, or an illegal
# move or false claim that xboard's garbled relaying does not explain, or
# an engine rejected a move relayed exactly as its opponent announced it.
set -u

here=$(cd "$(dirname "$0")/.." && pwd)
engine=""
variants="normal marseillais"
games=""
tc="0:30"
mps="40"
out=""
limit=900
inc=0
raw=0
analyse_only=0
fen=""
opponent=""

while getopts "e:v:g:t:m:I:o:p:O:T:rAh" opt; do
    case $opt in
        e) engine=$OPTARG ;;
        v) variants=$OPTARG ;;
        g) games=$OPTARG ;;
        t) tc=$OPTARG ;;
        m) mps=$OPTARG ;;
        I) inc=$OPTARG ;;
        o) out=$OPTARG ;;
        p) fen=$OPTARG ;;
        O) opponent=$OPTARG ;;
        T) limit=$OPTARG ;;
        r) raw=1 ;;
        A) analyse_only=1 ;;
        *) sed -n '2,37p' "$0"; exit 2 ;;
    esac
done

status=0
say() { echo "$*" | tee -a "$out/summary.txt"; }
indent() { sed 's/^/      /' | tee -a "$out/summary.txt"; }

analyse() {
    local variant=$1 dbg="$out/$1.debug" pgn="$out/$1.pgn"
    if [ ! -s "$pgn" ] || [ ! -s "$dbg" ]; then
        say "  no games or no debug log were saved"; status=1; return
    fi
    # One line per game: players, result and xboard's reason.
    awk '
        /^\[White / { w = $0; sub(/^\[White "/, "", w); sub(/"\]$/, "", w) }
        /^\[Black / { b = $0; sub(/^\[Black "/, "", b); sub(/"\]$/, "", b) }
        /^\[Result / { r = $0; sub(/^\[Result "/, "", r); sub(/"\]$/, "", r) }
        /^\[/ { next }
        { body = body " " $0 }
        /(1-0|0-1|1\/2-1\/2|\*)[ \t]*$/ && r != "" {
            n = split(body, parts, "{"); reason = parts[n]; sub(/}.*/, "", reason)
            moves = body; gsub(/\{[^}]*\}/, "", moves)
            last = moves; sub(/[ \t]*(1-0|0-1|1\/2-1\/2|\*)[ \t]*$/, "", last)
            k = split(last, tok, /[ \t]+/)
            printf "  game %d: %s vs %s: %s {%s}, last moves:%s\n", ++g, w, b, r, reason,
                (k > 0 ? " " tok[k-2] " " tok[k-1] " " tok[k] : "")
            body = ""; r = ""
        }' "$pgn" | tee -a "$out/summary.txt"
    say "  xboard's game endings: $(grep -E '^GameEnds\([0-9]+, [^(]' "$dbg" \
        | sed -E 's/^GameEnds\([0-9]+, (.*), [0-9]+\)$/\1/' | sort | uniq -c \
        | sed -E 's/^ +//' | paste -sd';' -)"

    local blank
    blank=$(grep -cE '^[0-9]+ >(first|second) *: variant *$' "$dbg")
    if [ "$blank" -gt 0 ]; then
        say "  xboard sent an empty 'variant ' command $blank time(s) (debug lines: $(grep -nE '^[0-9]+ >(first|second) *: variant *$' "$dbg" | cut -d: -f1 | paste -sd, -))"
    fi

    # Follow every move (or Marseillais turn) an engine announced to the
    # word xboard sent to the other engine, and every rejected move word.
    local relay
    relay=$(awk '
        /^[0-9]+ <(first|second) *: move / {
            who = ($0 ~ /<first/) ? "first" : "second"
            mv = $0; sub(/^[0-9]+ <[a-z]+ *: move /, "", mv)
            if (part[who] != "") { mv = part[who] mv; part[who] = "" }
            if (mv ~ /,$/) { part[who] = mv; next }
            turn[who] = mv; pending[who] = 1; next
        }
        /^[0-9]+ >(first|second) *: [a-h][1-8][a-h][1-8]/ {
            to = ($0 ~ />first/) ? "first" : "second"
            from = (to == "first") ? "second" : "first"
            w = $0; sub(/^[0-9]+ >[a-z]+ *: /, "", w)
            if (pending[from]) {
                total++
                if (w != turn[from]) {
                    garbled++
                    if (garbled <= 6) printf "%s engine announced %s, xboard sent %s (debug line %d)\n", from, turn[from], w, NR
                }
                announced[w] = (w == turn[from]) ? "same" : "garbled"
                pending[from] = 0
            }
        }
        /^[0-9]+ <(first|second) *: Error \(illegal move\): [a-h][1-8]/ {
            w = $0; sub(/^.*Error \(illegal move\): /, "", w)
            if (announced[w] == "same") {
                faithful++
                printf "REJECTED a faithfully relayed move %s (debug line %d)\n", w, NR
            }
        }
        END { printf "COUNTS %d %d %d\n", total, garbled + 0, faithful + 0 }' "$dbg")
    local total garbled faithful
    read -r total garbled faithful <<< "$(echo "$relay" | sed -n 's/^COUNTS //p')"
    say "  moves relayed between the engines: $total, of which $garbled differ from what the engine announced"
    echo "$relay" | grep -v '^COUNTS' | indent
    if [ "$faithful" -gt 0 ]; then status=1; fi

    local illegal forfeits
    illegal=$(grep -ciE '\{[^}]*(illegal|false)[^}]*\}' "$pgn")
    forfeits=$(grep -ciE '\{[^}]*(time|forfeit|crash|disconnect|stall|exit|respond)[^}]*\}[ \t]*(1-0|0-1)' "$pgn")
    if [ "$forfeits" -gt 0 ]; then
        say "  PROBLEM: $forfeits game(s) ended by time, crash or a stalled engine"; status=1
    fi
    if [ "$illegal" -gt 0 ]; then
        if [ "$garbled" -ge "$illegal" ]; then
            say "  $illegal game(s) ended by an illegal-move verdict; each follows a turn that xboard relayed garbled"
        else
            say "  PROBLEM: $illegal game(s) ended by an illegal-move verdict, only $garbled garbled relays to explain them"
            status=1
        fi
        grep -n -B6 -E '^GameEnds\([0-9]+, [^,]*(llegal|alse)' "$dbg" | grep -vE '<(first|second) *: (# |-?[0-9]+ -?[0-9]+ )' | head -16 | indent
    fi

    for who in first second; do
        # xboard logs "NNN <first : line" / "NNN <second: line" for what an
        # engine sends and "NNN >first : line" for what it sends to one.
        local recv sent name errs
        recv=$(grep -E "^[0-9]+ <$who *: " "$dbg" | sed -E "s/^[0-9]+ <$who *: //")
        sent=$(grep -E "^[0-9]+ >$who *: " "$dbg" | sed -E "s/^[0-9]+ >$who *: //")
        name=$(echo "$recv" | sed -n -E 's/^feature myname="([^"]*)".*/\1/p' | head -1)
        say "  $who engine ($name): $(echo "$recv" | grep -c .) lines received:" \
            "$(echo "$recv" | grep -c '^move ') move lines," \
            "$(echo "$recv" | grep -cE '^ *-?[0-9]+ +-?[0-9]+ +-?[0-9]+ +-?[0-9]+') thinking lines," \
            "$(echo "$recv" | grep -c '^#') comment lines," \
            "$(echo "$recv" | grep -c '^feature ') feature lines ($(echo "$sent" | grep -c '^accepted ') accepted, $(echo "$sent" | grep -c '^rejected ') rejected)," \
            "$(echo "$recv" | grep -c '^pong ') pongs for $(echo "$sent" | grep -c '^ping ') pings"
        say "    commands it got: $(echo "$sent" | awk '{ w = $1; if (w ~ /^[a-h][1-8][a-h][1-8]/) w = "<move>"; c[w]++ } END { for (w in c) printf "%s x%d, ", w, c[w] }' | sed 's/, $//')"
        errs=$(echo "$recv" | grep -E '^Error' | sort | uniq -c | sort -rn)
        if [ -n "$errs" ]; then
            say "    error lines it sent:"
            echo "$errs" | head -10 | indent
        fi
        local stopped
        stopped=$(echo "$recv" | grep -B2 '^move ' | grep -cE '^[0-9]+ -32000 -?[0-9]+ [0-9]+$')
        if [ "$stopped" -gt 0 ]; then
            say "    $stopped of its moves came right after a closing thinking line '<depth> -32000 <time> <nodes>' without moves; xboard records -320.00 as that move's score"
        fi
    done
    local unknown
    unknown=$(grep -E '^[0-9]+ <(first|second) *: ' "$dbg" | grep -vE ': (move |feature |pong |Error |tellics |telluser |#| *-?[0-9]+ +-?[0-9]+ +-?[0-9]+ +-?[0-9]+|[0-9/-]+ \{|$)' | head -5)
    if [ -n "$unknown" ]; then
        say "  other engine lines:"; echo "$unknown" | indent
    fi
}

if [ -z "$engine" ]; then
    for c in "$here/build-play/quarn" "$here/build/quarn"; do
        [ -x "$c" ] && { engine=$c; break; }
    done
fi

if [ $analyse_only -eq 1 ]; then
    [ -n "$out" ] && [ -d "$out" ] || { echo "-A needs -o DIR with earlier logs"; exit 2; }
    out=$(cd "$out" && pwd)
    : > "$out/summary.txt"
    for variant in $variants; do
        [ -e "$out/$variant.debug" ] || continue
        say "=== $variant (logs in $out)"
        analyse "$variant"
    done
    exit $status
fi

[ -n "$engine" ] && [ -x "$engine" ] || { echo "no quarn binary (use -e)"; exit 2; }
engine=$(cd "$(dirname "$engine")" && pwd)/$(basename "$engine")
xboard=$(command -v xboard || echo /usr/games/xboard)
fairymax=${opponent:-$(command -v fairymax || echo /usr/games/fairymax)}
[ -x "$xboard" ] || { echo "xboard is not installed (apt-get install -y xboard xvfb xauth fairymax)"; exit 2; }
command -v xvfb-run >/dev/null || { echo "xvfb-run is not installed (apt-get install -y xvfb xauth)"; exit 2; }

[ -n "$out" ] || out=$(mktemp -d /tmp/quarn-gui-trial.XXXXXX)
mkdir -p "$out"
out=$(cd "$out" && pwd)
# xboard reads and writes its settings file in $HOME; keep the user's alone.
export HOME="$out/home"
mkdir -p "$HOME"

if [ "$mps" = inc ]; then
    timing=(-tc "$tc" -inc "$inc")
else
    timing=(-tc "$tc" -mps "$mps")
fi

: > "$out/summary.txt"
say "quarn: $engine"
start_pos=()
if [ -n "$fen" ]; then
    echo "$fen" > "$out/start.fen"
    start_pos=(-lpf "$out/start.fen" -lpi 1)
fi
say "xboard $(dpkg-query -W -f='${Version}' xboard 2>/dev/null || echo '?'), time control: ${timing[*]}, output: $out"

for variant in $variants; do
    case $variant in
        normal)
            n=${games:-4}
            [ -x "$fairymax" ] || { say "opponent $fairymax is not installed"; status=1; continue; }
            players=(-fcp "$engine" -fd "$(dirname "$engine")" -scp "$fairymax" -sd /tmp)
            vopts=()
            ;;
        marseillais)
            n=${games:-2}
            players=(-fcp "$engine" -fd "$(dirname "$engine")" -scp "$engine" -sd "$(dirname "$engine")")
            vopts=(-variant marseillais)
            if [ $raw -eq 0 ]; then
                vopts+=(-secondInitString 'new\nvariant marseillais\nrandom\n')
            fi
            ;;
        *) say "unknown variant $variant"; status=1; continue ;;
    esac
    rm -f "$out/$variant.debug" "$out/$variant.pgn"
    say ""
    say "=== $variant: $n games"
    start=$(date +%s)
    timeout -k 10 "$limit" xvfb-run -a -s "-screen 0 1024x768x24" \
        "$xboard" "${players[@]}" "${vopts[@]}" "${timing[@]}" "${start_pos[@]}" \
        -mg "$n" -xponder -autoCallFlag true -xexit -xpopup -xanimate \
        -testClaims true -debug -nameOfDebugFile "$out/$variant.debug" \
        -sgf "$out/$variant.pgn" > "$out/$variant.stderr" 2>&1
    rc=$?
    say "xboard exit status $rc after $(( $(date +%s) - start )) s; $(grep -o 'final score.*' "$out/$variant.stderr" | tail -1)"
    if [ $rc -ne 0 ]; then
        say "  PROBLEM: xboard did not finish the match normally"; status=1
    fi
    analyse "$variant"
done

say ""
say "files: $out (summary.txt, *.debug, *.pgn, *.stderr)"
exit $status
