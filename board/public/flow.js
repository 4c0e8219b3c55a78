// The page's game flow, with no DOM and no timers: step(state, event) gives
// the next state and the commands for the engine link and the store. Every
// event that depends on time carries `now` (milliseconds on one monotonic
// clock), so a move at the flag is decided by the time it was made.
//
// Events: ready (a fresh engine has had its opening), legal {gen, list, now}
// (the legal moves or turns), fen-checked {gen, fen, errors}, thinking {info},
// engine-move {word, now}, died {why, now}, hung {why, now}, busy {text},
// lost {text}, tick {now}, move {uci, now} (the person's), new-game
// {settings, now}, take-back {now}, resign {now}, setup {fen, now}, random
// {on}, flip, review {to}, release {now} (a hidden tab gives its engine back),
// show {now}, import {game, now} (a game read by import.js), import-checked
// {gen, errors}, play-here {now} (play on from the position viewed); for the
// analysis engine: analyse {on}, game-review {on}, analysis-info {gen, info},
// analysis-move {gen, word}, analysis-busy {gen, text}, analysis-ended {gen, why}.
// Commands: send {line}, reset {lines} (lines whose answers are not waited
// for), ask {gen} ("divide 1"), check-fen {gen, fen, lines}, restart (a fresh
// engine; one that thinks cannot be interrupted), release, start, save,
// notice {text}, check-import {gen, lines}; analysis-start {gen, lines,
// fresh} (fresh: a new engine, the old one may be searching), analysis-stop.
import {sideOf, other, colorName, playMove, unshowable} from "./positions.js"
import {turnSan, MATE_SCORE} from "./notation.js"
import {gameEnd, timeOut, resignation} from "./adjudicate.js"
import {LEVELS, levelLine, planLevel} from "./clock.js"
import {freshGame, positionsOf, copyGame, turnsBy, clocksOf, movesLeft, addTurn, truncate} from "./record.js"
import {fullFen} from "./import.js"
import {fenWords, ENGINE_REFUSED_FEN} from "./words.js"

export const MAX_RESTARTS = 3 // engine deaths in a row before the page gives up
const MAX_FEN = 200

// Phases: connecting, sync (waiting for the engine), human, second (the
// person's second move of a Marseillais turn), engine (quarn thinks), over,
// busy (no engine free), offline, asleep (the engine given back).
export function initialState(game) {
    game = copyGame(game)
    const positions = positionsOf(game)
    return {
        game, positions, sans: game.turns.map((t, i) => turnSan(positions[i], t)),
        phase: "connecting", gen: 0, alive: false, legal: [], firstMove: null, halfTurn: null,
        since: null, thinkStart: null, usedMs: 0, restarts: 0, viewing: null, pendingSetup: null,
        thought: null, setupError: "", message: "", pendingImport: null, importError: "",
        analyse: false, analysis: null, gameReview: null, analysisGen: 0,
    }
}

const sideToMove = (s) => sideOf(s.positions.at(-1))
// "both": two people at one device, quarn only judges legality.
export const quarnSide = (s) => (s.game.human === "both" ? null : other(s.game.human))
export const personMoves = (g, side) => g.human === "both" || g.human === side
export const yourTurn = (s) => (s.phase === "human" || s.phase === "second") && s.viewing === null

// The clocks at `now`; only the side to move's runs, and only while `since` is set.
export function clocksAt(s, now) {
    return clocksOf(s.game, s.positions, s.game.spent + (s.since === null ? 0 : now - s.since))
}

export function step(state, event) {
    const s = {...state, game: copyGame(state.game), positions: [...state.positions], sans: [...state.sans]}
    const out = []
    const handle = HANDLERS[event.type]
    if (handle) handle(s, event, out)
    syncAnalysis(s, out)
    return {state: s, commands: out}
}

// ---- clocks ------------------------------------------------------------------

function fold(s, now) {
    if (s.since === null) return
    s.game.spent += now - s.since
    s.since = now
}

function stopClock(s, now) {
    fold(s, now)
    s.since = null
}

// A side's clock runs from its first turn on: the first turn is free.
function startClock(s, now) {
    const side = sideToMove(s)
    s.since = !s.game.result && turnsBy(s.positions, s.game, side) > 0 ? now : null
}

// True (and the game ended) when the side to move's time ran out by `now`.
function flagged(s, now, out) {
    if (s.since === null || s.game.result || clocksAt(s, now)[sideToMove(s)] > 0) return false
    const side = sideToMove(s)
    s.game.spent = s.game.clocks[s.game.turns.length][side] // the clock shows 0:00, not below
    s.since = null
    s.firstMove = null
    s.game.result = timeOut(side, s.positions.at(-1), s.game.variant)
    out.push({type: "save"})
    if (s.phase === "engine") restart(s, out)
    else {
        s.phase = "over"
        out.push({type: "send", line: `result ${s.game.result.score}`})
    }
    return true
}

// ---- the engine --------------------------------------------------------------

// Ends a thinking engine: a fresh one replays the game when ready.
function restart(s, out) {
    s.gen++
    s.alive = false
    s.halfTurn = null
    s.thinkStart = null
    s.phase = "sync"
    out.push({type: "restart"})
}

// Brings an idle engine to the game's state, then asks for the legal list.
function replay(s, out) {
    s.gen++
    s.halfTurn = null
    s.firstMove = null
    s.thinkStart = null
    s.usedMs = 0
    s.thought = null
    s.phase = "sync"
    const g = s.game
    const level = LEVELS[g.level]
    const lines = ["new", `variant ${g.variant}`, levelLine(level.mps, level.base, level.inc), g.random ? "rand" : "norand",
        "force"]
    if (g.startFen) lines.push(`setboard ${g.startFen}`)
    lines.push(...g.turns)
    if (g.result) lines.push(`result ${g.result.score}`)
    out.push({type: "reset", lines}, {type: "ask", gen: s.gen})
}

// A changed game reaches the engine now, or through a fresh one.
function resync(s, out) {
    if (s.phase === "engine") restart(s, out)
    else if (s.alive && s.phase !== "busy" && s.phase !== "offline" && s.phase !== "asleep") replay(s, out)
}

function legal(s, {gen, list, now}, out) {
    if (gen !== s.gen) return
    s.restarts = 0
    s.legal = list
    s.firstMove = null
    const g = s.game
    const side = sideToMove(s)
    if (!g.result) {
        const end = gameEnd(s.positions, list.length, g.variant)
        if (end) finish(s, end, out)
        else if (clocksAt(s, now)[side] <= 0) finish(s, timeOut(side, s.positions.at(-1), g.variant), out)
    }
    if (g.result) {
        s.phase = "over"
        return
    }
    startClock(s, now)
    if (personMoves(g, side)) {
        s.phase = "human"
        return
    }
    s.phase = "engine"
    s.thinkStart = now
    // quarn plans with the time its clock shows, also after a replay
    out.push({type: "send", line: planLevel({remainingMs: clocksAt(s, now)[side], movesLeft: movesLeft(g, s.positions),
        enginePly: g.turns.length, side, usedMs: s.usedMs, incMs: (LEVELS[g.level].inc ?? 0) * 1000})}, {type: "send", line: "go"})
}

function finish(s, result, out) {
    s.since = null
    s.game.result = result
    out.push({type: "save"}, {type: "send", line: `result ${result.score}`})
}

function recordTurn(s, text, now) {
    stopClock(s, now)
    s.sans.push(turnSan(s.positions.at(-1), text))
    addTurn(s.game, s.positions, text)
    s.viewing = null
}

function engineMove(s, {word, now}, out) {
    if (s.phase !== "engine") return
    if (flagged(s, now, out)) return
    if (word.endsWith(",")) {
        s.halfTurn = word.slice(0, -1)
        return
    }
    const text = s.halfTurn ? `${s.halfTurn},${word}` : word
    s.usedMs += now - s.thinkStart
    s.thinkStart = null
    s.halfTurn = null
    recordTurn(s, text, now)
    s.phase = "sync"
    s.gen++
    out.push({type: "save"}, {type: "ask", gen: s.gen})
}

function engineEnded(s, now, out, notice) {
    stopClock(s, now)
    s.alive = false
    s.halfTurn = null
    s.thinkStart = null
    if (notice === null) {
        s.phase = "offline"
        return
    }
    out.push({type: "notice", text: notice})
    s.phase = "sync"
    s.gen++
    out.push({type: "restart"})
}

// ---- the person's moves ------------------------------------------------------

function personMove(s, {uci, now}, out) {
    if (!yourTurn(s) || flagged(s, now, out)) return
    if (s.game.variant === "normal") return personTurnDone(s, uci, now, out)
    if (s.firstMove !== null) return personTurnDone(s, `${s.firstMove},${uci}`, now, out)
    if (s.legal.includes(uci)) return personTurnDone(s, uci, now, out) // a one-move turn: a check, or White's first
    s.firstMove = uci
    s.phase = "second"
}

function personTurnDone(s, text, now, out) {
    s.firstMove = null
    recordTurn(s, text, now)
    s.phase = "sync"
    s.gen++
    out.push({type: "save"}, {type: "send", line: "force"}, {type: "send", line: text}, {type: "ask", gen: s.gen})
}

// ---- the controls ------------------------------------------------------------

function newGame(s, settings, now, out) {
    stopClock(s, now)
    s.game = freshGame(settings)
    s.positions = positionsOf(s.game)
    s.sans = []
    s.legal = []
    s.firstMove = null
    s.viewing = null
    s.thought = null
    out.push({type: "save"})
    resync(s, out)
}

function takeBack(s, {now}, out) {
    if (s.firstMove !== null) {
        s.firstMove = null
        s.phase = "human"
        return
    }
    const keep = s.game.turns.findLastIndex((_, i) => personMoves(s.game, sideOf(s.positions[i])))
    if (keep < 0 || s.phase === "busy" || s.phase === "offline") return
    stopClock(s, now)
    truncate(s.game, s.positions, keep)
    s.sans.length = keep
    s.viewing = null
    out.push({type: "save"})
    resync(s, out)
}

function resign(s, {now}, out) {
    if (s.game.result || s.phase === "busy" || s.phase === "offline") return
    stopClock(s, now)
    s.firstMove = null
    s.game.result = resignation(s.game.human === "both" ? sideToMove(s) : s.game.human)
    out.push({type: "save"})
    resync(s, out)
}

// Why a typed FEN is not even worth asking the engine about, or "".
export function fenProblem(fen) {
    fen = fen.trim()
    if (!fen) return ""
    return fen.length > MAX_FEN || !/^[A-Za-z0-9/ -]*$/.test(fen)
        ? "That is not a FEN (letters, digits, '/', '-' and spaces only)." : fenWords(fen)
}

// A FEN is checked by the engine first: a refused one keeps the game.
function setup(s, {fen, now}, out) {
    s.setupError = fenProblem(fen)
    fen = fullFen(fen)
    if (!fen || s.setupError) return
    stopClock(s, now)
    s.pendingSetup = fen
    if (s.phase === "engine") restart(s, out)
    else if (s.alive && s.phase !== "busy" && s.phase !== "offline") checkFen(s, out)
}

function checkFen(s, out) {
    s.gen++
    s.phase = "sync"
    out.push({type: "check-fen", gen: s.gen, fen: s.pendingSetup, lines: ["force", `setboard ${s.pendingSetup}`]})
}

function fenChecked(s, {gen, fen, errors}, out) {
    if (gen !== s.gen) return
    s.pendingSetup = null
    const unshown = !errors.length && unshowable(fen)
    if (errors.length || unshown) {
        s.setupError = unshown ? `The board cannot show this position: ${unshown}` : ENGINE_REFUSED_FEN
        replay(s, out)
        return
    }
    const g = s.game
    newGame(s, {variant: g.variant, human: g.human, level: g.level, random: g.random, flipped: g.flipped, startFen: fen},
        0, out)
}

function ready(s, _event, out) {
    s.alive = true
    if (s.pendingImport) checkImport(s, out)
    else if (s.pendingSetup) checkFen(s, out)
    else replay(s, out)
}

// ---- import ------------------------------------------------------------------

// An imported game is played through the engine first: the first turn it
// refuses is named, and the game in progress stays.
function importGame(s, {game, now}, out) {
    s.importError = game.error ?? ""
    if (game.error) return
    stopClock(s, now)
    s.pendingImport = game
    if (s.phase === "engine") restart(s, out)
    else if (s.alive && s.phase !== "busy" && s.phase !== "offline") checkImport(s, out)
}

function checkImport(s, out) {
    const g = s.pendingImport
    s.gen++
    s.phase = "sync"
    const lines = ["new", `variant ${g.variant}`, "force"]
    if (g.startFen) lines.push(`setboard ${g.startFen}`)
    out.push({type: "check-import", gen: s.gen, lines: [...lines, ...g.turns]})
}

function importChecked(s, {gen, errors}, out) {
    if (gen !== s.gen) return
    const g = s.pendingImport
    s.pendingImport = null
    if (errors.length) {
        s.importError = refusedText(g, errors[0])
        replay(s, out)
        return
    }
    const positions = positionsOf({...g, turns: []})
    const game = freshGame({variant: g.variant, level: g.level ?? s.game.level, random: s.game.random,
        flipped: s.game.flipped, startFen: g.startFen})
    for (const turn of g.turns) addTurn(game, positions, turn)
    game.human = s.game.human === "both" ? "both" : sideOf(positions.at(-1))
    if (g.result !== "*") game.result = {score: g.result, text: "The imported game's result"}
    s.game = game
    s.positions = positions
    s.sans = game.turns.map((t, i) => turnSan(positions[i], t))
    s.legal = []
    s.viewing = null
    s.thought = null
    out.push({type: "save"})
    replay(s, out)
}

// The engine's refusal in plain words.
function refusedText(g, error) {
    const word = /^Error \(illegal move\): (\S+)$/.exec(error)?.[1]
    const at = word ? g.turns.indexOf(word) : -1
    if (at < 0) return `quarn refuses this game's starting position (${g.startFen}).`
    const positions = positionsOf({...g, turns: g.turns.slice(0, at)})
    const fen = positions.at(-1)
    const number = `${fen.split(" ")[5]}${sideOf(fen) === "w" ? "." : "..."}`
    return `The move ${number} ${turnSan(fen, word)} cannot be played: it breaks the rules of ` +
        `${g.variant === "normal" ? "chess" : "Marseillais chess"}${g.variant === "normal" ? "" : " (a first move that " +
        "gives check ends the turn; every other turn has two moves)"}.`
}

// Play on from the position viewed (the end of the game when none is): the
// turns after it go, the person takes the side to move there.
function playHere(s, {now}, out) {
    if (s.phase === "busy" || s.phase === "offline" || s.phase === "asleep") return
    const steps = reviewSteps(s)
    const {turn, move, of} = steps[s.viewing ?? steps.length - 1]
    const keep = move + 1 === of ? turn + 1 : turn
    stopClock(s, now)
    truncate(s.game, s.positions, keep)
    s.sans.length = keep
    s.viewing = null
    s.firstMove = null
    if (s.game.human !== "both") s.game.human = sideOf(s.positions.at(-1))
    out.push({type: "save"})
    resync(s, out)
}

// ---- analysis and game review: a second engine ----------------------------

const ANALYSIS_LEVEL = "level 1 180 0" // one move in three hours: it deepens until it is ended
// A game review searches each position to a fixed depth (plies, turns in
// Marseillais), so that its findings do not depend on the machine's speed or
// load; the level only caps the time. The depth is even, so that the scores
// before and after a turn each see their side's last reply (at an odd depth a
// Marseillais side's extra turn swings its score by pawns); a depth of 4
// turns takes half a minute a position, 2 a few milliseconds.
const REVIEW_LEVEL = "level 1 0:10 0"
const REVIEW_DEPTH = {normal: 6, marseillais: 2}
const DROP_CAP = 2000   // a mate counts as 20 pawns when scores are compared
const MIN_DROP = 100    // a turn is marked when its mover lost at least a pawn
const MARKED_TURNS = 3  // and it is among the three worst

// The index in `positions` of the position viewed (a turn's start; inside a
// Marseillais turn, the end of that turn).
export function viewedIndex(s) {
    if (s.viewing === null) return s.positions.length - 1
    const {turn, move, of} = reviewSteps(s)[s.viewing]
    return move + 1 === of ? turn + 1 : turn
}

const searchLines = (s, fen, level, limits = []) =>
    ["new", `variant ${s.game.variant}`, "force", `setboard ${fen}`, level, ...limits, "go"]

// The analysis follows the position viewed while it is on; a review owns the engine while it runs.
function syncAnalysis(s, out) {
    if (s.gameReview && !s.gameReview.done) return
    const index = s.analyse && s.phase !== "asleep" ? viewedIndex(s) : null
    const fen = index === null ? null : s.positions[index]
    if (fen === (s.analysis?.fen ?? null)) return // the same position: its search (or refusal) goes on
    if (fen === null) {
        if (s.analysis) out.push({type: "analysis-stop"})
        s.analysis = null
        return
    }
    s.analysisGen++
    s.analysis = {fen, index, info: null, error: ""}
    out.push({type: "analysis-start", gen: s.analysisGen, fresh: true, lines: searchLines(s, fen, ANALYSIS_LEVEL)})
}

function analysisInfo(s, {gen, info}) {
    if (gen !== s.analysisGen) return
    if (s.analysis) s.analysis = {...s.analysis, info}
    if (s.gameReview && !s.gameReview.done) s.gameReview = {...s.gameReview, info}
}

// Game review: every position of the game searched in turn, each score
// from its side to move; a finished mate or stalemate is scored, not searched.
function gameReview(s, {on}, out) {
    if (!on) {
        if (s.gameReview && !s.gameReview.done) out.push({type: "analysis-stop"})
        s.gameReview = null
        s.analysis = null
        return
    }
    if (!s.game.turns.length || ["busy", "offline", "asleep"].includes(s.phase)) return
    const text = s.game.result?.text ?? ""
    const last = text.startsWith("Checkmate") ? -MATE_SCORE : text.startsWith("Stalemate") ? 0 : undefined
    const count = s.positions.length - (last === undefined ? 0 : 1)
    const scores = []
    if (last !== undefined) scores[count] = last
    s.analysis = null
    s.gameReview = {at: 0, count, scores, info: null, done: false, error: ""}
    reviewNext(s, out, true)
}

function reviewNext(s, out, fresh) {
    s.analysisGen++
    out.push({type: "analysis-start", gen: s.analysisGen, fresh,
        lines: searchLines(s, s.positions[s.gameReview.at], REVIEW_LEVEL, [`sd ${REVIEW_DEPTH[s.game.variant]}`])})
}

// The search of a review's position ended with its move, or with the second
// move of a Marseillais turn: its first ("move e2e4,") ends nothing.
function analysisMove(s, {gen, word = ""}, out) {
    const r = s.gameReview
    if (gen !== s.analysisGen || !r || r.done || word.endsWith(",")) return
    const scores = [...r.scores]
    scores[r.at] = r.info ? r.info.score : 0
    s.gameReview = {...r, scores, at: r.at + 1, info: null}
    if (s.gameReview.at < r.count) return reviewNext(s, out, false)
    s.gameReview = {...s.gameReview, done: true, drops: scoreDrops(scores, s.game.turns.length)}
    out.push({type: "analysis-stop"})
}

// How much each turn's mover lost: its score before the turn less its score
// after it (the reply's side's score, negated); the turns marked.
export function scoreDrops(scores, turns) {
    const cap = (x) => Math.max(-DROP_CAP, Math.min(DROP_CAP, x))
    const drops = []
    for (let i = 0; i < turns; i++) drops.push({turn: i, drop: cap(scores[i]) + cap(scores[i + 1])})
    const marked = drops.filter((d) => d.drop >= MIN_DROP).sort((a, b) => b.drop - a.drop).slice(0, MARKED_TURNS)
    return drops.map((d) => ({...d, marked: marked.includes(d)}))
}

function analysisTrouble(s, gen, text) {
    if (gen !== s.analysisGen) return
    if (s.analysis) s.analysis = {...s.analysis, error: text}
    if (s.gameReview && !s.gameReview.done) s.gameReview = {...s.gameReview, done: true, error: text, drops: null}
}

// ---- review ------------------------------------------------------------------

// The steps of the game: the start, then the position after every move (both
// moves of a Marseillais turn): [{turn, move, of}], turn -1 for the start.
export function reviewSteps(s) {
    const steps = [{turn: -1, move: 0, of: 0}]
    s.game.turns.forEach((t, turn) => {
        const of = t.split(",").length
        for (let move = 0; move < of; move++) steps.push({turn, move, of})
    })
    return steps
}

// `to`: first, prev, next, last, prev-turn, next-turn or {turn} (the position after it).
function review(s, {to}) {
    const steps = reviewSteps(s)
    const end = steps.length - 1
    const at = s.viewing ?? end
    const turnEnd = (turn) => steps.findLastIndex((st) => st.turn === turn)
    const here = steps[at]
    const moves = {
        first: 0, last: end, prev: at - 1, next: at + 1,
        "prev-turn": turnEnd(here.turn - 1),
        "next-turn": here.move + 1 < here.of ? turnEnd(here.turn) : turnEnd(here.turn + 1),
    }
    let target = typeof to === "object" ? turnEnd(to.turn) : moves[to]
    if (target === undefined) return
    if (target < 0) target = to === "next-turn" ? end : 0
    target = Math.min(target, end)
    s.viewing = target === end ? null : target
}

// The position a step shows: its FEN and the moves to mark.
export function stepPosition(s, index) {
    const {turn, move, of} = reviewSteps(s)[index]
    if (turn < 0) return {fen: s.positions[0], marks: []}
    const moves = s.game.turns[turn].split(",")
    if (move + 1 === of) return {fen: s.positions[turn + 1], marks: moves}
    return {fen: playMove(s.positions[turn], moves[0]).fen, marks: [moves[0]]}
}

// What the status line tells the person.
export function statusText(s) {
    if (s.viewing !== null) {
        const {turn} = reviewSteps(s)[s.viewing]
        if (turn < 0) return "Viewing the starting position; moving is off until you go back to the game."
        return `Viewing the position after ${colorName(sideOf(s.positions[turn]))}'s ${s.sans[turn]}; ` +
            "moving is off until you go back to the game."
    }
    return {
        connecting: "Starting quarn…",
        sync: "quarn is getting ready…",
        human: (s.game.human === "both" ? `${colorName(sideToMove(s))} to move` : "Your move") +
            (s.game.variant === "marseillais" && s.legal.some((t) => t.includes(","))
                ? ": the first of two moves (a first move that gives check ends the turn)." : "."),
        second: `${s.game.human === "both" ? colorName(sideToMove(s)) + "'s" : "Your"} second move (after ` +
            `${s.firstMove ? turnSan(s.positions.at(-1), s.firstMove) : ""}).`,
        engine: "quarn is thinking…",
        over: "Game over. New game, Take back, Play on from here or Set up position to go on.",
        busy: "No engine free.",
        offline: s.message,
        asleep: "quarn was given back while this tab was hidden.",
    }[s.phase] ?? ""
}

// ---- the handlers ------------------------------------------------------------

const HANDLERS = {
    ready,
    legal,
    "fen-checked": fenChecked,
    thinking: (s, {info}) => {
        if (s.phase === "engine") s.thought = info
    },
    "engine-move": engineMove,
    died: (s, {why, now}, out) => {
        const gaveUp = ++s.restarts > MAX_RESTARTS
        s.message = gaveUp ? `quarn stopped (${why}) ${MAX_RESTARTS} times in a row; reload the page to try again.` : ""
        engineEnded(s, now, out, gaveUp ? null : `quarn stopped (${why}); a fresh engine replays the game.`)
    },
    hung: (s, {why, now}, out) => engineEnded(s, now, out, `${why}; a fresh engine replays the game.`),
    busy: (s, {text}) => {
        s.since = null
        s.alive = false
        s.phase = "busy"
        s.message = text
    },
    lost: (s, {text}) => {
        s.since = null
        s.alive = false
        s.phase = "offline"
        s.message = text
    },
    tick: (s, {now}, out) => {
        if (s.since === null || flagged(s, now, out)) return
        fold(s, now)
        out.push({type: "save"})
    },
    move: personMove,
    "new-game": (s, {settings, now}, out) => newGame(s, settings, now, out),
    "take-back": takeBack,
    resign,
    setup,
    random: (s, {on}, out) => {
        s.game.random = on
        out.push({type: "save"})
        if (s.alive) out.push({type: "send", line: on ? "rand" : "norand"})
    },
    flip: (s, _event, out) => {
        s.game.flipped = !s.game.flipped
        out.push({type: "save"})
    },
    review,
    import: importGame,
    analyse: (s, {on}) => {
        s.analyse = on
    },
    "game-review": gameReview,
    "analysis-info": analysisInfo,
    "analysis-move": analysisMove,
    "analysis-busy": (s, {gen, text}) => analysisTrouble(s, gen, text),
    "analysis-ended": (s, {gen, why}) => analysisTrouble(s, gen, `The analysis engine stopped (${why}).`),
    "import-checked": importChecked,
    "play-here": playHere,
    // A hidden tab gives its engine back; both clocks wait until it is shown.
    release: (s, {now}, out) => {
        if (["busy", "offline", "asleep"].includes(s.phase)) return
        stopClock(s, now)
        s.gen++
        s.alive = false
        s.firstMove = null
        s.halfTurn = null
        s.thinkStart = null
        s.phase = "asleep"
        out.push({type: "save"}, {type: "release"})
    },
    show: (s, _event, out) => {
        if (s.phase !== "asleep") return
        s.phase = "connecting"
        out.push({type: "start"})
    },
}
