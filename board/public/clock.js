// The levels the page offers, the clocks' text, and the "level" line that lets
// quarn plan with the time its clock really shows.
export const LEVELS = {
    quick: {label: "Quick: 40 moves in 30 s", mps: 40, base: 30},
    m1: {label: "40 moves in 1 min", mps: 40, base: 60},
    m5: {label: "40 moves in 5 min", mps: 40, base: 300},
    m15: {label: "40 moves in 15 min", mps: 40, base: 900},
    i3: {label: "3 min + 2 s a move", mps: 0, base: 180, inc: 2},
    i10: {label: "10 min + 5 s a move", mps: 0, base: 600, inc: 5},
}

const CS = 10                  // milliseconds in the engine's centisecond
const RESERVE_CS = 10          // the engine keeps 0.1 s of every control
const SHARE = 0.9              // and plans with 90 % of the rest
const SUDDEN_DEATH_MOVES = 30  // moves it plans for when a level has no moves per control
const INT32_MAX = 2 ** 31 - 1
export const MAX_LEVEL_MPS = 40      // the largest "level" the board server passes on:
export const MAX_LEVEL_SECONDS = 10800 // 40 moves, 180 minutes (increments let a clock pass the level's time)
export const MAX_LEVEL_INC = 60        // and 60 s a move

// "M:SS" (or "M" for whole minutes), as "level" reads its base time.
export function levelTime(seconds) {
    const s = seconds % 60
    return s ? `${Math.floor(seconds / 60)}:${String(s).padStart(2, "0")}` : String(seconds / 60)
}

export const levelLine = (mps, seconds, inc = 0) => `level ${mps} ${levelTime(seconds)} ${inc}`

// What the clocks say of a level: "+2 s" for an increment, or nothing.
export const incrementText = (level) => (level.inc ? `+${level.inc} s` : "")

// A clock as a person reads it: minutes and seconds, never below 0:00.
export function formatClock(ms) {
    const s = Math.ceil(Math.max(0, ms) / 1000)
    return Math.floor(s / 60) + ":" + String(s % 60).padStart(2, "0")
}

// The engine's time for its next move in centiseconds, as its clock code
// computes it: `ply` turns played since "new" with `side` to move, `usedCs` of
// its time used, a control of `mps` moves (0: all moves) in `baseCs` plus
// `incrementCs` a move. tests/clock_budget_cases.json holds the engine's own
// answers, which the engine's test and the page's test both check.
export function engineBudget(mps, ply, side, usedCs, baseCs, incrementCs = 0) {
    const made = side === "w" ? Math.floor((ply + 1) / 2) : Math.floor(ply / 2)
    const controls = mps ? Math.floor(made / mps) : 0
    const inControl = mps ? made % mps : made
    const left = mps ? mps - inControl : SUDDEN_DEATH_MOVES
    const available = (controls + 1) * baseCs + (inControl + 1) * incrementCs - usedCs
    if (available <= 0) return 0
    return Math.min(INT32_MAX, Math.trunc(((available - RESERVE_CS) * SHARE) / left))
}

// The "level" line to send before "go" so that quarn, which counts its moves
// from "new" (`enginePly` turns played, `side` to move) and its own time
// since then (`usedMs`), plans this move with `remainingMs` for the
// `movesLeft` moves left in the page's control (0: the rest of the game),
// and `incMs` added after each move. A fresh engine after a replay has used
// nothing; its first control then holds the time left. Three forms fit the
// server's limits (at most 40 moves, 180 minutes, 60 s a move): all the moves
// left as the first control (while they are at most 40), one control of the
// whole game (30 moves planned) scaled to the same share, or, with an
// increment, one control of the whole game less the increments quarn has
// already had. The form whose budget comes closest without going over wins;
// whole seconds round down.
export function planLevel({remainingMs, movesLeft, enginePly, side, usedMs, incMs = 0}) {
    const made = side === "w" ? Math.floor((enginePly + 1) / 2) : Math.floor(enginePly / 2)
    const usedCs = Math.ceil(usedMs / CS)
    const remainingCs = Math.max(0, Math.floor(remainingMs / CS))
    const inc = Math.min(MAX_LEVEL_INC, Math.floor(incMs / 1000))
    const target = engineBudget(movesLeft, 0, "w", 0, remainingCs, inc * 100)
    const toSeconds = (cs) => Math.min(MAX_LEVEL_SECONDS, Math.max(0, Math.floor(cs / 100)))
    const planned = movesLeft || SUDDEN_DEATH_MOVES
    const forms = [[0, toSeconds(usedCs + RESERVE_CS + (SUDDEN_DEATH_MOVES * (remainingCs - RESERVE_CS)) / planned), 0]]
    if (movesLeft && made + movesLeft <= MAX_LEVEL_MPS) forms.push([made + movesLeft, toSeconds(remainingCs + usedCs), 0])
    if (inc) forms.push([0, toSeconds(remainingCs + usedCs - made * inc * 100), inc])
    let best = null
    for (const [mps, seconds, increment] of forms) {
        const budget = engineBudget(mps, enginePly, side, usedCs, seconds * 100, increment * 100)
        const score = budget <= target ? budget : -budget
        if (!best || score > best.score) best = {score, mps, seconds, increment}
    }
    return levelLine(best.mps, best.seconds, best.increment)
}
