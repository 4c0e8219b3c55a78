// quarn board: the wiring between the game flow (flow.js, which decides
// everything), the view (view.js) and the engine (engine.js). Events go to
// the flow with the time; its commands go to the engine and the store; every
// new state is drawn.
import {engineKind} from "./site-config.js"
import {Engine} from "./engine.js"
import {Analyst} from "./analyst.js"
import {View, $} from "./view.js"
import {draw, drawClocks, drawThinking} from "./screen.js"
import {inCheck, turnMoves} from "./positions.js"
import {gameRows, gameHeaders, pgn, parseTypedTurn} from "./notation.js"
import {LEVELS} from "./clock.js"
import {freshGame} from "./record.js"
import {openTabStore} from "./tab-store.js"
import {initialState, step, yourTurn, fenProblem} from "./flow.js"
import {importPgn, shareFragment, readShareFragment} from "./import.js"

const IDLE_PING_MS = 20000 // how often an idle engine is pinged
const TICK_MS = 250        // the clocks' refresh
const RELEASE_MS = 10 * 60 * 1000 // a tab hidden this long gives its engine back (tests: ?release-after=MS)
const releaseAfterMs = Number(new URLSearchParams(location.search).get("release-after")) || RELEASE_MS
const now = () => performance.now()

let state, view, engine, analyst, store
let releaseTimer = null

function dispatch(event) {
    const before = state
    const next = step(state, event)
    state = next.state
    for (const command of next.commands) run(command)
    playSound(before, state)
    if (event.type === "thinking") drawThinking(view, state)
    else if (event.type === "tick" && state.phase === before.phase) drawClocks(view, state, now())
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
    case "analysis-start": return analyst.start(command)
    case "analysis-stop": return analyst.stop()
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

const KEYS = {ArrowLeft: "prev", ArrowRight: "next", ArrowUp: "prev-turn", ArrowDown: "next-turn", Home: "first", End: "last"}

function reviewKey(event) {
    const to = KEYS[event.key]
    if (!to || event.altKey || event.ctrlKey || event.metaKey || event.target.closest("input, select, textarea, dialog")) return
    event.preventDefault()
    dispatch({type: "review", to})
}

const render = () => draw(view, state, dispatch, now)

// ---- start -------------------------------------------------------------------

async function main() {
    view = new View()
    const shared = readShareFragment(location.hash)
    store = await openTabStore(!!shared)
    state = initialState(store.game ?? freshGame({variant: "normal", human: "w", level: "m5", random: false}))
    store.save(state.game)
    analyst = new Analyst(engineKind, dispatch)
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
    $("show-thinking").addEventListener("change", () => drawThinking(view, state))
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
    on("download", () => view.download(pgnText(), `quarn-${state.game.variant}.pgn`))
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
    on("copy-fen", () => copy($("fen").textContent, $("fen"), "FEN"))
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
