// quarn board: the game flow and the controls. The engine says which moves
// and turns are legal ("divide 1"); positions.js plays them, notation.js
// writes them, adjudicate.js ends the game, view.js shows it all.
import {engineKind} from "./site-config.js"
import {Engine} from "./engine.js"
import {View, $} from "./view.js"
import {sideOf, other, colorName, playMove, checkedKing, unshowable} from "./positions.js"
import {turnSan, lineSan, moveRows, pgn, parseTypedTurn, candidateMoves} from "./notation.js"
import {gameEnd, timeOut, resignation, winner} from "./adjudicate.js"
import {LEVELS, levelLine, planLevel} from "./clock.js"
import {freshGame, Record} from "./record.js"
import {openTabStore} from "./tab-store.js"

const MAX_RESTARTS = 3      // engine deaths in a row before the page gives up
const IDLE_PING_MS = 20000  // how often an idle engine is pinged
const TICK_MS = 250         // the clocks' refresh
const MAX_FEN = 200

let store, game, rec, view, engine
let sans = []            // the SAN of every turn of the record
let phase = "connecting" // connecting, sync, human, second, engine, over, busy, offline
let gen = 0              // replays so far: an answer to an older one is dropped
let legal = []           // the engine's legal moves or turns for the side to move
let firstMove = null     // the person's first move of a Marseillais turn, on the board
let halfTurn = null      // quarn's first move of a Marseillais turn, on the board
let thinking = false
let restarts = 0
let viewing = null       // the turn whose position is shown instead of the game's
let usedMs = 0           // quarn's thinking since its "new", as the page's clock measured it
let spentAtGo = 0
let turnStartedAt = null // set while the side to move's clock runs
let idlePing = null

const save = () => store.save(game)
const quarnSide = () => other(game.human)
const hasMoves = () => game.turns.length > 0 && !game.result

// The SAN list with a mate marked: chess.js knows mate by one move a turn,
// so a Marseillais mate (no legal turn) may come out as a check.
function shownSans() {
    if (!game.result?.text.startsWith("Checkmate") || !sans.length) return sans
    return [...sans.slice(0, -1), sans[sans.length - 1].replace(/[+#]?$/, "#")]
}

function useGame(g) {
    game = g
    rec = new Record(game)
    sans = game.turns.map((t, i) => turnSan(rec.positions[i], t))
    viewing = null
}

// ---- clocks ------------------------------------------------------------------

function foldClock() {
    if (turnStartedAt === null) return
    const now = performance.now()
    game.spent += now - turnStartedAt
    turnStartedAt = now
}

function startClock() {
    if (!game.result) turnStartedAt = performance.now()
}

function stopClock() {
    foldClock()
    turnStartedAt = null
}

function clocksNow() {
    foldClock()
    return rec.clocks()
}

function recordTurn(text) {
    stopClock()
    if (sideOf(rec.fen) === quarnSide()) usedMs += game.spent - spentAtGo
    sans.push(turnSan(rec.fen, text))
    rec.add(text)
    save()
}

function tick() {
    if (turnStartedAt === null) return
    const c = clocksNow()
    save()
    renderClocks()
    const side = sideOf(rec.fen)
    if (c[side] <= 0 && !game.result) flag(side)
}

function flag(side) {
    firstMove = null
    const wasThinking = thinking
    finish(timeOut(side))
    if (wasThinking) restartEngine(null) // the fresh engine replays the finished game
    else {
        setPhase("over")
        render()
    }
}

// ---- the engine --------------------------------------------------------------

function send(text) {
    engine.send(text)
}

function restartEngine(why, then = null) {
    thinking = false
    halfTurn = null
    stopClock()
    if (why) view.notice(`${why}; a fresh engine replays the game.`)
    setPhase("sync")
    engine.restart(then)
}

// Runs `run` with an engine that reads: now, or once a fresh one has had its
// opening (one that thinks cannot be interrupted, so it is replaced).
function withIdleEngine(run) {
    if (thinking || phase === "busy") restartEngine(null, run)
    else if (!engine.alive) engine.then = run
    else run()
}

// Brings the engine to the game's state: new game, settings, force mode and
// every turn of the record, then lets the side to move play.
function replay() {
    gen++
    thinking = false
    halfTurn = null
    usedMs = 0
    stopClock()
    view.thinking("")
    setPhase("sync")
    render()
    const level = LEVELS[game.level]
    const commands = ["new", `variant ${game.variant}`, levelLine(level.mps, level.base),
        game.random ? "rand" : "norand", "force"]
    if (game.startFen) commands.push(`setboard ${game.startFen}`)
    commands.push(...game.turns)
    if (game.result) commands.push(`result ${game.result.score}`)
    engine.reset(commands)
    nextTurn()
}

async function nextTurn() {
    const mine = gen
    let list
    try {
        list = await engine.ask([], "divide")
    } catch {
        return
    }
    if (mine !== gen) return
    restarts = 0
    legal = list
    firstMove = null
    const side = sideOf(rec.fen)
    if (!game.result) {
        const end = gameEnd(rec.positions, list.length, game.variant)
        if (end) finish(end)
        else if (rec.clocks()[side] <= 0) finish(timeOut(side))
    }
    if (game.result) setPhase("over")
    else if (side === game.human) {
        setPhase("human")
        startClock()
    } else {
        thinking = true
        setPhase("engine")
        startClock()
        foldClock()
        spentAtGo = game.spent
        // quarn plans with the time its clock shows, also after a replay
        send(planLevel({remainingMs: rec.clocks()[side], movesLeft: rec.movesLeft(), enginePly: game.turns.length,
            side, usedMs}))
        send("go")
    }
    render()
}

function onThinking({depth, score, time, nodes, pv}) {
    const sign = score > 0 ? "+" : ""
    view.thinking(`depth ${depth} · ${sign}${(score / 100).toFixed(2)} for quarn (${colorName(quarnSide())}) · ` +
        `${(time / 100).toFixed(2)} s · ${nodes} nodes · ${lineSan(rec.fen, pv, game.variant)}`)
}

function onEngineMove(word) {
    if (!thinking) return
    if (word.endsWith(",")) {
        halfTurn = word.slice(0, -1)
        render()
        return
    }
    const text = halfTurn ? `${halfTurn},${word}` : word
    thinking = false
    halfTurn = null
    recordTurn(text)
    setPhase("sync")
    render()
    nextTurn()
}

function engineDied(why) {
    thinking = false
    halfTurn = null
    stopClock()
    if (++restarts > MAX_RESTARTS) {
        setPhase("offline")
        view.status(`quarn stopped (${why}) ${MAX_RESTARTS} times in a row; reload the page to try again.`)
        return
    }
    view.notice(`quarn stopped (${why}); a fresh engine replays the game.`)
    setPhase("sync")
    engine.restart()
}

// ---- the person's moves ------------------------------------------------------

const movesFrom = (square) => candidateMoves(legal, firstMove).filter((m) => m.startsWith(square))

function humanMove(uci) {
    if (phase !== "human" && phase !== "second") return
    if (game.variant === "normal") return humanTurnDone(uci)
    if (firstMove !== null) return humanTurnDone(`${firstMove},${uci}`)
    if (legal.includes(uci)) return humanTurnDone(uci) // a one-move turn: a check, or White's first turn
    firstMove = uci
    setPhase("second")
    render()
}

function humanTurnDone(text) {
    firstMove = null
    recordTurn(text)
    setPhase("sync")
    render()
    send("force")
    send(text)
    nextTurn()
}

function typedMove(event) {
    event.preventDefault()
    const input = $("move-input")
    const text = input.value.trim()
    if (!text) return
    if ((phase !== "human" && phase !== "second") || viewing !== null) {
        $("move-error").textContent = viewing !== null ? "Back to the game first." : "It is not your turn."
        return
    }
    const moves = parseTypedTurn(text, rec.fen, legal, firstMove)
    if (!moves) {
        $("move-error").textContent = `No legal ${game.variant === "normal" ? "move" : "turn"} matches "${text}".`
        return
    }
    $("move-error").textContent = ""
    input.value = ""
    moves.forEach(humanMove)
}

function finish(result) {
    stopClock()
    game.result = result
    save()
    if (!thinking) send(`result ${result.score}`)
}

// ---- the controls ------------------------------------------------------------

function setPhase(p) {
    phase = p
    document.body.dataset.phase = p
    clearInterval(idlePing)
    if (p === "human" || p === "second" || p === "over") {
        const mine = gen
        idlePing = setInterval(() => {
            if (mine === gen && !engine.answering) engine.ask([], "ping").catch(() => {})
        }, IDLE_PING_MS)
    }
}

function settings() {
    return {
        variant: $("variant").value, human: $("side").value, level: $("level").value,
        random: $("random").checked, flipped: game.flipped,
    }
}

// What ends a game in progress, asked before it does: [question, the yes button].
const ENDS_GAME = {
    "new-game": ["Start a new game? The game in progress ends.", "New game"],
    "variant": ["Change the variant? The game in progress ends.", "Change variant"],
    "side": ["Change sides? The game in progress ends and a new one starts.", "Change sides"],
    "level": ["Change the level? The game in progress ends and a new one starts.", "Change level"],
    "setup": ["Set up this position? The game in progress ends.", "Set up"],
}

// True when the game may end: it has no moves yet, or the person says yes.
async function mayEnd(what) {
    return !hasMoves() || view.confirm(...ENDS_GAME[what])
}

function startGame(startFen = null) {
    withIdleEngine(() => {
        stopClock()
        useGame(freshGame({...settings(), startFen}))
        legal = []
        firstMove = null
        view.thinking("")
        save()
        replay()
    })
}

async function newGame(what) {
    if (await mayEnd(what)) startGame()
    else render() // the controls show the game's settings again
}

function takeBack() {
    if (firstMove !== null) {
        firstMove = null
        setPhase("human")
        render()
        return
    }
    let keep = -1
    game.turns.forEach((_, i) => {
        if (rec.sideOfTurn(i) === game.human) keep = i
    })
    if (keep < 0) return
    withIdleEngine(() => {
        stopClock()
        rec.truncate(keep)
        sans.length = keep
        viewing = null
        save()
        replay()
    })
}

async function resign() {
    if (game.result || !(await view.confirm("Resign this game?", "Resign"))) return
    withIdleEngine(() => {
        firstMove = null
        finish(resignation(game.human))
        replay()
    })
}

// A FEN is checked by the engine first: a refused one shows the engine's
// error and the game goes on.
async function setUp() {
    const fen = $("setup-fen").value.trim().replace(/\s+/g, " ")
    const error = $("setup-error")
    error.textContent = ""
    if (!fen) return
    if (fen.length > MAX_FEN || !/^[A-Za-z0-9/ -]+$/.test(fen)) {
        error.textContent = "That is not a FEN (letters, digits, '/', '-' and spaces only)."
        return
    }
    if (!(await mayEnd("setup"))) return
    withIdleEngine(async () => {
        gen++
        engine.reset([])
        stopClock()
        setPhase("sync")
        let errors
        try {
            errors = await engine.ask(["force", `setboard ${fen}`], "ping")
        } catch {
            return
        }
        const unshown = !errors.length && unshowable(fen)
        if (unshown) errors = [`The board cannot show this position: ${unshown}`]
        if (errors.length) {
            error.textContent = errors.join("\n")
            replay()
            return
        }
        $("setup").open = false
        startGame(fen)
    })
}

function download() {
    const level = LEVELS[game.level]
    const result = game.result ? game.result.score : "*"
    const player = (side) => (side === game.human ? "Player" : "quarn")
    const headers = [["Event", "quarn board game"], ["Site", location.host || "-"],
        ["Date", new Date().toISOString().slice(0, 10).replaceAll("-", ".")], ["Round", "-"],
        ["White", player("w")], ["Black", player("b")], ["Result", result], ["TimeControl", `${level.mps}/${level.base}`]]
    if (game.variant === "marseillais") headers.push(["Variant", "Marseillais"])
    if (game.startFen) headers.push(["SetUp", "1"], ["FEN", game.startFen])
    const text = pgn(headers, moveRows(rec.positions[0], shownSans(), (i) => rec.sideOfTurn(i)), result)
    const a = document.createElement("a")
    a.href = URL.createObjectURL(new Blob([text], {type: "application/x-chess-pgn"}))
    a.download = `quarn-${game.variant}.pgn`
    a.click()
    setTimeout(() => URL.revokeObjectURL(a.href), 1000)
}

function copyFen() {
    if (navigator.clipboard) navigator.clipboard.writeText(rec.fen).then(() => view.notice("FEN copied."), selectFen)
    else selectFen()
}

function selectFen() {
    const range = document.createRange()
    range.selectNodeContents($("fen"))
    getSelection().removeAllRanges()
    getSelection().addRange(range)
    view.notice("FEN selected: press Ctrl-C to copy it.")
}

function viewTurn(index) {
    viewing = index === game.turns.length - 1 ? null : index
    render()
}

// ---- showing the game --------------------------------------------------------

function render() {
    const lastTurn = game.turns[game.turns.length - 1]
    if (viewing !== null) {
        const fen = rec.positions[viewing + 1]
        view.showPosition(fen, game.turns[viewing].split(","), checkedKing(fen))
    } else if (firstMove !== null || halfTurn !== null) {
        const move = firstMove ?? halfTurn
        view.showPosition(playMove(rec.fen, move).fen, [move], null)
    } else {
        view.showPosition(rec.fen, lastTurn ? lastTurn.split(",") : [], checkedKing(rec.fen))
    }
    view.orient((game.human === "w") !== game.flipped ? "w" : "b")
    const yourTurn = phase === "human" || phase === "second"
    view.input(yourTurn && viewing === null ? game.human : null, movesFrom, (uci) => (uci ? humanMove(uci) : render()))

    $("variant").value = game.variant
    $("side").value = game.human
    $("level").value = game.level
    $("random").checked = game.random
    $("fen").textContent = viewing !== null ? rec.positions[viewing + 1] : rec.fen
    $("take-back").disabled = !game.turns.some((_, i) => rec.sideOfTurn(i) === game.human) && firstMove === null
    $("resign").disabled = !!game.result || phase === "busy" || phase === "offline"
    $("back-to-game").hidden = viewing === null
    if (game.result) {
        const won = winner(game.result.score)
        view.banner(`${game.result.text} (${game.result.score})`, won === null ? "draw" : won === game.human ? "win" : "loss")
    } else if (phase !== "busy") view.banner("")

    const marseillais = game.variant === "marseillais"
    const phaseText = {
        connecting: "Starting quarn…",
        sync: "quarn is getting ready…",
        human: marseillais && legal.some((t) => t.includes(","))
            ? "Your turn: the first of two moves (a first move that gives check ends the turn)." : "Your move.",
        second: `Your second move (after ${firstMove}).`,
        engine: "quarn is thinking…",
        over: "Game over. New game, Take back or Set up position to go on.",
        busy: "No engine free.",
    }
    if (viewing !== null) {
        view.status(`Viewing the position after ${rec.sideOfTurn(viewing) === "w" ? "White" : "Black"}'s ${sans[viewing]}; ` +
            "moving is off until you go back to the game.")
    } else if (phase !== "offline") view.status(phaseText[phase] ?? "")
    view.moves(moveRows(rec.positions[0], shownSans(), (i) => rec.sideOfTurn(i)), viewing, viewTurn)
    renderClocks()
}

function renderClocks() {
    const running = turnStartedAt !== null ? sideOf(rec.fen) : null
    const names = {[game.human]: "you", [quarnSide()]: "quarn"}
    view.clocks(clocksNow(), names, running)
}

// ---- start -------------------------------------------------------------------

async function main() {
    view = new View()
    store = await openTabStore()
    useGame(store.game ?? freshGame({variant: "normal", human: "w", level: "m5", random: false}))
    save()
    engine = new Engine(engineKind, {
        started: (info) => {
            if (info.pid) document.body.dataset.enginePid = info.pid
        },
        ready: replay,
        thinking: onThinking,
        move: onEngineMove,
        died: engineDied,
        hung: (why) => restartEngine(why),
        busy: (text) => {
            thinking = false
            stopClock()
            setPhase("busy")
            view.banner(text, "alert")
            render()
        },
        notice: (text) => view.notice(text),
        lost: (text) => {
            thinking = false
            stopClock()
            setPhase("offline")
            view.status(text)
            render()
        },
    })
    $("engine-kind").textContent = engine.kind
    for (const [key, level] of Object.entries(LEVELS)) $("level").append(new Option(level.label, key))
    for (const id of ["variant", "side", "level"]) $(id).addEventListener("change", () => newGame(id))
    $("random").addEventListener("change", () => {
        game.random = $("random").checked
        save()
        send(game.random ? "rand" : "norand")
    })
    $("new-game").addEventListener("click", () => newGame("new-game"))
    $("take-back").addEventListener("click", takeBack)
    $("resign").addEventListener("click", resign)
    $("flip").addEventListener("click", () => {
        game.flipped = !game.flipped
        save()
        render()
    })
    $("download").addEventListener("click", download)
    $("setup-go").addEventListener("click", setUp)
    $("setup-fen").addEventListener("keydown", (e) => e.key === "Enter" && setUp())
    $("copy-fen").addEventListener("click", copyFen)
    $("typed").addEventListener("submit", typedMove)
    $("back-to-game").addEventListener("click", () => viewTurn(game.turns.length - 1))

    render()
    engine.start()
    setInterval(tick, TICK_MS)
    if (engineKind === "worker" && "serviceWorker" in navigator) {
        navigator.serviceWorker.register("sw.js").catch(() => {}) // offline use only; the page works without it
    }
}

main()
