// quarn board: the wiring between the game flow (flow.js, which decides
// everything), the view (view.js) and the engine (engine.js). Events go to
// the flow with the time; its commands go to the engine and the store; every
// new state is drawn.
import {engineKind} from "./site-config.js"
import {Engine} from "./engine.js"
import {View, $} from "./view.js"
import {sideOf, colorName, playMove, checkedKing, inCheck, turnMoves} from "./positions.js"
import {refusalReason} from "./words.js"
import {gameRows, gameHeaders, pgn, parseTypedTurn, candidateMoves, lineSan, scoreText, turnSan} from "./notation.js"
import {winner} from "./adjudicate.js"
import {LEVELS, incrementText} from "./clock.js"
import {freshGame} from "./record.js"
import {openTabStore} from "./tab-store.js"
import {initialState, step, clocksAt, quarnSide, personMoves, yourTurn, reviewSteps, stepPosition, statusText, fenProblem,
    MATE_SCORE} from "./flow.js"
import {importPgn, shareFragment, readShareFragment} from "./import.js"

const IDLE_PING_MS = 20000 // how often an idle engine is pinged
const TICK_MS = 250        // the clocks' refresh
const RELEASE_MS = 10 * 60 * 1000 // a tab hidden this long gives its engine back (tests: ?release-after=MS)
const releaseAfterMs = Number(new URLSearchParams(location.search).get("release-after")) || RELEASE_MS
const now = () => performance.now()
const ANALYSIS_DELAY_MS = 300 // a new position is analysed once the person has stayed on it this long

let state, view, engine, store
let analyst = null, analystUp = false, analysisTimer = null, analysisGen = 0
let releaseTimer = null

function dispatch(event) {
    const before = state
    const next = step(state, event)
    state = next.state
    for (const command of next.commands) run(command)
    playSound(before, state)
    if (event.type === "thinking") showThinking()
    else if (event.type === "tick" && state.phase === before.phase) renderClocks()
    else render()
}

function run(command) {
    const answer = (promise, event) => promise.then((value) => dispatch(event(value)), () => {})
    switch (command.type) {
    case "send": return engine.send(command.line)
    case "reset": return engine.reset(command.lines)
    case "ask": return answer(engine.ask([], "divide"), (list) => ({type: "legal", gen: command.gen, list, now: now()}))
    case "check-fen":
        engine.reset([])
        return answer(engine.ask(command.lines, "ping"), (errors) => ({...command, type: "fen-checked", errors}))
            .then(() => state.setupError || ($("setup").open = false))
    case "check-import":
        engine.reset([])
        return answer(engine.ask(command.lines, "ping"), (errors) => ({type: "import-checked", gen: command.gen, errors}))
            .then(() => state.importError || ($("import").open = false))
    case "restart": return engine.restart()
    case "release": return engine.stop()
    case "start": return engine.start()
    case "save": return store.save(state.game)
    case "notice": return view.notice(command.text)
    case "analysis-start": return analysisStart(command)
    case "analysis-stop":
        clearTimeout(analysisTimer)
        return analysisStop()
    }
}

// A tone for a turn played (a capture sounds lower) and for a first move put down.
function playSound(before, after) {
    const n = after.game.turns.length
    if (n === before.game.turns.length + 1) {
        const captured = turnMoves(after.positions[n - 1], after.game.turns[n - 1]).some(({move}) => move.captured)
        view.sound(captured ? "capture" : "move")
    } else if (after.firstMove !== null && before.firstMove === null) view.sound("move")
}

// ---- the analysis engine: a second engine link, ended to stop a search --------

function analysisStop() {
    if (analystUp) analyst.stop()
    analystUp = false
}

function analysisStart({gen, lines, fresh}) {
    clearTimeout(analysisTimer)
    const go = () => {
        analysisGen = gen
        if (fresh || !analystUp) {
            analysisStop()
            analystUp = true
            analyst.start(() => lines.forEach((l) => analyst.send(l)))
        } else lines.forEach((l) => analyst.send(l))
    }
    if (!analyst) {
        const to = (make) => (arg) => dispatch({...make(arg), gen: analysisGen})
        analyst = new Engine(engineKind, {
            started: () => {}, ready: () => {}, notice: () => {}, hung: () => {},
            thinking: to((info) => ({type: "analysis-info", info})),
            move: to(() => ({type: "analysis-move"})),
            died: to((why) => ({type: "analysis-ended", why})),
            busy: to((text) => ({type: "analysis-busy", text})),
            lost: to((text) => ({type: "analysis-busy", text})),
        })
    }
    // a search starts once the person stays on a position; a review's next position at once
    if (fresh) analysisTimer = setTimeout(go, ANALYSIS_DELAY_MS)
    else go()
}

// ---- the controls ------------------------------------------------------------

function settings() {
    return {variant: $("variant").value, human: $("side").value, level: $("level").value, random: $("random").checked,
        flipped: state.game.flipped}
}

// What ends a game in progress, asked before it does: [question, the yes button].
const ENDS_GAME = {
    "new-game": ["Start a new game? The game in progress ends.", "New game"],
    "variant": ["Change the variant? The game in progress ends.", "Change variant"],
    "side": ["Change sides? The game in progress ends and a new one starts.", "Change sides"],
    "level": ["Change the level? The game in progress ends and a new one starts.", "Change level"],
    "setup": ["Set up this position? The game in progress ends.", "Set up"],
    "import": ["Open this game? The game in progress ends.", "Open game"],
}

// True when the game may end: it has no moves yet, or the person says yes.
const mayEnd = async (what) => !state.game.turns.length || !!state.game.result || view.confirm(...ENDS_GAME[what])

async function newGame(what) {
    if (await mayEnd(what)) dispatch({type: "new-game", settings: settings(), now: now()})
    else render() // the controls show the game's settings again
}

async function setUp() {
    const fen = $("setup-fen").value
    if (!fen.trim() || fenProblem(fen) || await mayEnd("setup")) dispatch({type: "setup", fen, now: now()})
}

function typedMove(event) {
    event.preventDefault()
    const text = $("move-input").value.trim()
    if (!text) return
    const error = (message) => ($("move-error").textContent = message)
    if (!yourTurn(state)) return error(state.viewing !== null ? "Back to the game first." : "It is not your turn.")
    const fen = state.positions.at(-1)
    const moves = parseTypedTurn(text, fen, state.legal, state.firstMove)
    if (!moves) {
        return error(`No legal ${state.game.variant === "normal" ? "move" : "turn"} matches "${text}".` +
            (inCheck(fen) && state.firstMove === null ? " You are in check: your turn must answer it." : ""))
    }
    error("")
    $("move-input").value = ""
    for (const uci of moves) dispatch({type: "move", uci, now: now()})
}

function pgnText() {
    const g = state.game
    return pgn(gameHeaders(g, LEVELS[g.level], location.host, new Date()), gameRows(state.positions, state.sans, g.result),
        g.result ? g.result.score : "*")
}

function download() {
    const g = state.game
    const text = pgnText()
    const a = document.createElement("a")
    a.href = URL.createObjectURL(new Blob([text], {type: "application/x-chess-pgn"}))
    a.download = `quarn-${g.variant}.pgn`
    a.click()
    setTimeout(() => URL.revokeObjectURL(a.href), 1000)
}

// Copies `text`, or selects `element` for Ctrl-C where the page may not write the clipboard.
function copy(text, element, what) {
    const select = () => {
        if (element instanceof HTMLInputElement) element.select()
        else getSelection().selectAllChildren(element)
        view.notice(`${what} selected: press Ctrl-C to copy it.`)
    }
    if (navigator.clipboard) navigator.clipboard.writeText(text).then(() => view.notice(`${what} copied.`), select)
    else select()
}

function share() {
    const url = $("share-url")
    url.value = location.href.replace(/#.*$/, "") + shareFragment(state.game)
    url.hidden = false
    copy(url.value, url, "Link")
}

async function importText(text) {
    const game = importPgn(text)
    if (game.error || await mayEnd("import")) dispatch({type: "import", game, now: now()})
}

function copyFen() {
    const select = () => {
        getSelection().selectAllChildren($("fen"))
        view.notice("FEN selected: press Ctrl-C to copy it.")
    }
    if (navigator.clipboard) navigator.clipboard.writeText($("fen").textContent).then(() => view.notice("FEN copied."), select)
    else select()
}

const KEYS = {ArrowLeft: "prev", ArrowRight: "next", ArrowUp: "prev-turn", ArrowDown: "next-turn", Home: "first", End: "last"}

function reviewKey(event) {
    const to = KEYS[event.key]
    if (!to || event.altKey || event.ctrlKey || event.metaKey || event.target.closest("input, select, textarea, dialog")) return
    event.preventDefault()
    dispatch({type: "review", to})
}

// ---- showing the game --------------------------------------------------------

function render() {
    const s = state
    const g = s.game
    const fen = s.positions.at(-1)
    document.body.dataset.phase = s.phase
    if (s.viewing !== null) {
        const shown = stepPosition(s, s.viewing)
        view.showPosition(shown.fen, shown.marks, checkedKing(shown.fen))
    } else if (s.firstMove !== null || s.halfTurn !== null) {
        const move = s.firstMove ?? s.halfTurn
        view.showPosition(playMove(fen, move).fen, [move], null)
    } else view.showPosition(fen, g.turns.at(-1)?.split(",") ?? [], checkedKing(fen))
    view.orient((g.human !== "b") !== g.flipped ? "w" : "b")
    const movesFrom = (square) => candidateMoves(s.legal, s.firstMove).filter((m) => m.startsWith(square))
    view.input(yourTurn(s) ? sideOf(fen) : null, movesFrom, (uci) => {
        $("move-error").textContent = ""
        if (uci) dispatch({type: "move", uci, now: now()})
        else render()
    }, (uci) => ($("move-error").textContent = refusalReason(fen, uci, g.variant, s.firstMove)))

    $("variant").value = g.variant
    $("side").value = g.human
    $("level").value = g.level
    $("random").checked = g.random
    $("fen").textContent = s.viewing !== null ? stepPosition(s, s.viewing).fen : fen
    $("take-back").disabled = !g.turns.some((_, i) => personMoves(g, sideOf(s.positions[i]))) && s.firstMove === null
    $("import-error").textContent = s.importError
    if (s.importError) $("import").open = true
    $("play-here").hidden = (s.viewing === null && !g.result) || ["busy", "offline", "asleep"].includes(s.phase)
    $("resign").disabled = !!g.result || s.phase === "busy" || s.phase === "offline"
    $("setup-error").textContent = s.setupError
    if (s.setupError) $("setup").open = true
    if (g.result) {
        const won = winner(g.result.score)
        view.banner(`${g.result.text} (${g.result.score})`,
            won === null ? "draw" : won === g.human || g.human === "both" ? "win" : "loss")
    } else view.banner(s.phase === "busy" ? s.message : "")
    view.status(statusText(s))
    const steps = reviewSteps(s)
    const marks = s.gameReview?.drops ? Object.fromEntries(s.gameReview.drops.filter((d) => d.marked)
        .map((d) => [d.turn, `The mover's score fell by ${(d.drop / 100).toFixed(2)}`])) : null
    // a first move of a Marseillais turn waiting for its second shows in the list too
    const pending = s.firstMove ?? s.halfTurn
    const sans = pending === null ? s.sans : [...s.sans, `${turnSan(fen, pending)},…`]
    view.moves(gameRows(s.positions, sans, g.result), s.viewing === null ? null : steps[s.viewing],
        (turn) => dispatch({type: "review", to: {turn}}), marks)
    $("game-review").textContent = s.gameReview ? "End review" : "Review game"
    $("game-review").disabled = !s.gameReview && (!g.turns.length || ["busy", "offline", "asleep"].includes(s.phase))
    $("analyse").checked = s.analyse
    view.review(s.viewing ?? steps.length - 1, steps.length - 1)
    showAnalysis()
    showThinking()
    renderClocks()
}

function renderClocks() {
    const g = state.game
    const names = g.human === "both" ? {w: "player", b: "player"} : {[g.human]: "you", [quarnSide(state)]: "quarn"}
    view.clocks(clocksAt(state, now()), names, state.since === null ? null : sideOf(state.positions.at(-1)),
        incrementText(LEVELS[g.level]))
}

// The bar after a mate on the board: all White's when White won.
const winnerShare = (text) => (text.endsWith("White wins") ? 100 : 0)

const turnNumber = (fen) => `${fen.split(" ")[5]}${sideOf(fen) === "w" ? "." : "..."}`

// White's score from a score of the side to move in `fen`; its share of the bar.
function forWhite(fen, score) {
    const white = sideOf(fen) === "w" ? score : -score
    const mate = MATE_SCORE - Math.abs(white) < 1024
    return {white, share: mate ? (white > 0 ? 100 : 0) : 100 / (1 + Math.exp(-white / 250))}
}

// The analysis panel: the search of the position shown, or the game review's progress and findings.
function showAnalysis() {
    const s = state
    const r = s.gameReview
    if (r) {
        const worst = r.drops?.filter((d) => d.marked).sort((a, b) => b.drop - a.drop)
            .map((d) => `${turnNumber(s.positions[d.turn])} ${s.sans[d.turn]} (−${(d.drop / 100).toFixed(2)})`)
        const text = r.error || (!r.done ? `Reviewing the game: position ${r.at + 1} of ${r.count}…`
            : worst.length ? `Review done. The turns where the mover's score fell most: ${worst.join(", ")}.`
                : "Review done: no turn lost its mover a pawn or more.")
        return view.analysis({text, white: null})
    }
    const a = s.analysis
    if (!a) return view.analysis(null)
    if (a.error) return view.analysis({text: a.error, white: null})
    const over = s.game.result?.text ?? ""
    if (a.index === s.positions.length - 1 && /^(Checkmate|Stalemate)/.test(over)) {
        return view.analysis({text: `${over}: no move to search.`, white: over.startsWith("Stalemate") ? 50 : winnerShare(over)})
    }
    if (!a.info) return view.analysis({text: "quarn is analysing this position…", white: 50})
    const {white, share} = forWhite(a.fen, a.info.score)
    view.analysis({text: `${scoreText(white)} · depth ${a.info.depth} · ${lineSan(a.fen, a.info.pv, s.game.variant)}`,
        white: share})
}

// quarn's thinking line, shown only when asked for.
function showThinking() {
    const t = state.thought
    view.thinking($("show-thinking").checked && t && quarnSide(state) ? `depth ${t.depth} · ${scoreText(t.score)} for quarn ` +
        `(${colorName(quarnSide(state))}) · ${(t.time / 100).toFixed(2)} s · ${t.nodes} nodes · ` +
        lineSan(state.positions.at(-1), t.pv, state.game.variant) : "")
}

// ---- start -------------------------------------------------------------------

async function main() {
    view = new View()
    const shared = readShareFragment(location.hash)
    store = await openTabStore(!!shared)
    state = initialState(store.game ?? freshGame({variant: "normal", human: "w", level: "m5", random: false}))
    store.save(state.game)
    engine = new Engine(engineKind, {
        started: (info) => {
            if (info.pid) document.body.dataset.enginePid = info.pid
        },
        ready: () => dispatch({type: "ready"}),
        thinking: (info) => dispatch({type: "thinking", info}),
        move: (word) => dispatch({type: "engine-move", word, now: now()}),
        died: (why) => dispatch({type: "died", why, now: now()}),
        hung: (why) => dispatch({type: "hung", why, now: now()}),
        busy: (text) => dispatch({type: "busy", text}),
        notice: (text) => view.notice(text),
        lost: (text) => dispatch({type: "lost", text}),
    })
    $("engine-kind").textContent = engine.kind
    for (const [key, level] of Object.entries(LEVELS)) $("level").append(new Option(level.label, key))
    for (const id of ["variant", "side", "level"]) $(id).addEventListener("change", () => newGame(id))
    const on = (id, handler) => $(id).addEventListener("click", handler)
    $("random").addEventListener("change", () => dispatch({type: "random", on: $("random").checked}))
    $("show-thinking").addEventListener("change", showThinking)
    const MUTE_KEY = "quarn-board-muted"
    view.muted = $("mute").checked = localStorage.getItem(MUTE_KEY) === "1"
    $("mute").addEventListener("change", () => {
        view.muted = $("mute").checked
        localStorage.setItem(MUTE_KEY, view.muted ? "1" : "0")
    })
    $("analyse").addEventListener("change", () => dispatch({type: "analyse", on: $("analyse").checked}))
    on("game-review", () => dispatch({type: "game-review", on: !state.gameReview}))
    on("new-game", () => newGame("new-game"))
    on("take-back", () => dispatch({type: "take-back", now: now()}))
    on("resign", async () => (await view.confirm("Resign this game?", "Resign")) && dispatch({type: "resign", now: now()}))
    on("flip", () => dispatch({type: "flip"}))
    on("download", download)
    on("copy-pgn", () => copy(pgnText(), $("moves"), "PGN"))
    on("share", share)
    on("import-go", () => importText($("import-text").value))
    $("import-file").addEventListener("change", async () => {
        const file = $("import-file").files[0]
        if (file) $("import-text").value = await file.text()
        $("import-file").value = ""
        if (file) importText($("import-text").value)
    })
    on("play-here", () => dispatch({type: "play-here", now: now()}))
    on("setup-go", setUp)
    $("setup-fen").addEventListener("keydown", (e) => e.key === "Enter" && setUp())
    on("copy-fen", copyFen)
    $("typed").addEventListener("submit", typedMove)
    for (const to of ["first", "prev", "next", "last"]) on(`review-${to}`, () => dispatch({type: "review", to}))
    on("back-to-game", () => dispatch({type: "review", to: "last"}))
    document.addEventListener("keydown", reviewKey)
    // A tab hidden for a while gives its engine back, and takes one again when shown.
    document.addEventListener("visibilitychange", () => {
        clearTimeout(releaseTimer)
        if (document.hidden) releaseTimer = setTimeout(() => dispatch({type: "release", now: now()}), releaseAfterMs)
        else dispatch({type: "show", now: now()})
    })

    // A share link opens its game (checked by the engine once it is ready).
    if (shared) {
        history.replaceState(null, "", location.href.replace(/#.*$/, ""))
        dispatch({type: "import", game: shared, now: now()})
    }
    render()
    engine.start()
    setInterval(() => dispatch({type: "tick", now: now()}), TICK_MS)
    setInterval(() => {
        if (["human", "second", "over"].includes(state.phase) && engine.alive && !engine.answering) {
            engine.ask([], "ping").catch(() => {})
        }
    }, IDLE_PING_MS)
    if (engineKind === "worker" && "serviceWorker" in navigator) {
        navigator.serviceWorker.register("sw.js").catch(() => {}) // offline use only; the page works without it
    }
}

main()
