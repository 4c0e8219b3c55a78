// quarn board: the page. The engine says which moves and turns are legal
// ("divide 1"); chess.js gives the position after a move and whether the side
// to move is in check; cm-chessboard draws the board and takes the mouse input.
import {Chess} from "chess.js"
import {Chessboard, COLOR, INPUT_EVENT_TYPE} from "cm-chessboard/src/Chessboard.js"
import {Markers, MARKER_TYPE} from "cm-chessboard/src/extensions/markers/Markers.js"
import {PromotionDialog, PROMOTION_DIALOG_RESULT_TYPE} from "cm-chessboard/src/extensions/promotion-dialog/PromotionDialog.js"

const START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"
const LEVELS = {
    quick: {label: "Quick: 40 moves in 30 s", mps: 40, base: 30, text: "0:30"},
    m1: {label: "40 moves in 1 min", mps: 40, base: 60, text: "1"},
    m5: {label: "40 moves in 5 min", mps: 40, base: 300, text: "5"},
    m15: {label: "40 moves in 15 min", mps: 40, base: 900, text: "15"},
}
const STORE_KEY = "quarn-board-game"
const ANSWER_MS = 10000      // an idle engine must answer within this time, or it is replaced
const IDLE_PING_MS = 20000   // how often an idle engine is pinged
const MAX_RESTARTS = 3       // engine deaths in a row before the page gives up
const $ = (id) => document.getElementById(id)

// ---- positions -------------------------------------------------------------

const fields = (fen) => fen.split(" ")
const sideOf = (fen) => fields(fen)[1]
const other = (side) => (side === "w" ? "b" : "w")
const uciParts = (uci) => ({from: uci.slice(0, 2), to: uci.slice(2, 4), promotion: uci[4]})

function playMove(fen, uci) {
    const chess = new Chess(fen)
    const move = chess.move(uciParts(uci))
    return {fen: chess.fen(), move}
}

// The same side moves again: the second move of a Marseillais turn.
// En passant is never a second move, so the field is cleared.
function sameSideAgain(fen, side) {
    const f = fields(fen)
    return [f[0], side, f[2], "-", f[4], f[5]].join(" ")
}

// The position at the start of the next turn. In Marseillais the page writes
// its FEN so that "setboard" of it gives the engine the same legal turns: the
// en-passant square when the turn's last move was a two-square push with an
// enemy pawn beside it (the squares the engine's setboard keeps), the half-move
// field counting turns since a capture or pawn move, the full-move field
// counting Black's turns.
function afterTurn(fen, text, variant) {
    if (variant === "normal") return playMove(fen, text).fen
    const [, side, , , half, full] = fields(fen)
    let f = fen
    let resets = false
    let last
    text.split(",").forEach((uci, i) => {
        const played = playMove(i ? sameSideAgain(f, side) : f, uci)
        f = played.fen
        last = played.move
        resets = resets || last.piece === "p" || !!last.captured
    })
    const after = fields(f)
    let ep = "-"
    if (last.flags.includes("b")) {
        const chess = new Chess(f)
        const rank = last.to[1]
        const enemyPawnBeside = [-1, 1].some((d) => {
            const file = String.fromCharCode(last.to.charCodeAt(0) + d)
            const piece = file >= "a" && file <= "h" && chess.get(file + rank)
            return piece && piece.type === "p" && piece.color === other(side)
        })
        if (enemyPawnBeside) ep = last.to[0] + (side === "w" ? "3" : "6")
    }
    return [after[0], other(side), after[2], ep, resets ? 0 : Number(half) + 1,
        Number(full) + (side === "b" ? 1 : 0)].join(" ")
}

function inCheck(fen) {
    return new Chess(fen).inCheck()
}

// ---- the game record (kept in the browser's storage) ------------------------

function freshGame(settings) {
    const level = LEVELS[settings.level] || LEVELS.m5
    const clock = level.base * 1000
    return {
        variant: settings.variant, human: settings.human, level: settings.level, random: settings.random,
        startFen: null, turns: [], clocks: [{w: clock, b: clock}], spent: 0, result: null,
        flipped: settings.flipped || false,
    }
}

function loadGame() {
    try {
        const g = JSON.parse(localStorage.getItem(STORE_KEY))
        if (g && Array.isArray(g.turns) && g.clocks.length === g.turns.length + 1 && LEVELS[g.level] &&
            new Chess(g.startFen || START_FEN)) return g
    } catch {
        // a damaged record starts a new game
    }
    return freshGame({variant: "normal", human: "w", level: "m5", random: false})
}

let game
let positions = []   // FEN at the start of every turn; positions[i] is before game.turns[i]

function rebuildPositions() {
    positions = [game.startFen || START_FEN]
    for (let i = 0; i < game.turns.length; i++) {
        try {
            positions.push(afterTurn(positions[i], game.turns[i], game.variant))
        } catch {
            game.turns.length = i       // a record this page cannot follow ends there
            game.clocks.length = i + 1
            positions.push(null)
            positions.length = i + 1
            break
        }
    }
}

const currentFen = () => positions[positions.length - 1]
const save = () => localStorage.setItem(STORE_KEY, JSON.stringify(game))
const sideOfTurn = (i) => sideOf(positions[i])

// ---- clocks ------------------------------------------------------------------

let turnStartedAt = null   // set while the side to move's clock runs

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
    const c = {...game.clocks[game.turns.length]}
    c[sideOf(currentFen())] -= game.spent
    return c
}

function recordTurn(text) {
    stopClock()
    const side = sideOf(currentFen())
    const level = LEVELS[game.level]
    const c = {...game.clocks[game.turns.length]}
    c[side] -= game.spent
    const ownTurns = game.turns.filter((_, i) => sideOfTurn(i) === side).length + 1
    if (ownTurns % level.mps === 0) c[side] += level.base * 1000
    positions.push(afterTurn(currentFen(), text, game.variant))
    game.turns.push(text)
    game.clocks.push(c)
    game.spent = 0
    save()
}

const formatClock = (ms) => {
    const s = Math.ceil(Math.abs(ms) / 1000)
    return (ms < 0 ? "-" : "") + Math.floor(s / 60) + ":" + String(s % 60).padStart(2, "0")
}

// ---- the engine connection -------------------------------------------------

const eng = {
    ws: null, pid: null, phase: "connecting", thinking: false, halfTurn: null,
    waiters: [], serial: 0, draining: null, gen: 0, restarts: 0, onReady: null, idlePing: null,
}

function send(text) {
    if (eng.ws && eng.ws.readyState === WebSocket.OPEN) eng.ws.send(JSON.stringify({type: "line", text}))
}

function dropWaiters() {
    for (const w of eng.waiters) {
        clearTimeout(w.timer)
        w.reject(new Error("stale"))
    }
    eng.waiters = []
}

// Sends commands, then "divide 1" or a ping, and resolves with the answer
// (the legal list, or the error lines printed before the pong).
function ask(commands, kind) {
    return new Promise((resolve, reject) => {
        if (!eng.ws || eng.ws.readyState !== WebSocket.OPEN) {
            reject(new Error("no connection"))
            return
        }
        const id = ++eng.serial
        const w = {kind, id, list: [], errors: [], resolve, reject}
        w.timer = setTimeout(() => restartEngine(`quarn did not answer within ${ANSWER_MS / 1000} s`), ANSWER_MS)
        eng.waiters.push(w)
        commands.forEach(send)
        send(kind === "divide" ? "divide 1" : `ping ${id}`)
    })
}

function finishWaiter(value) {
    const w = eng.waiters.shift()
    clearTimeout(w.timer)
    w.resolve(value)
}

function onEngineLine(text) {
    if (eng.draining !== null) {
        if (text === `pong ${eng.draining}`) eng.draining = null
        return
    }
    const think = /^(\d+) (-?\d+) (-?\d+) (\d+) ?(.*)$/.exec(text)
    if (think) {
        const [, depth, score, time, nodes, pv] = think
        $("thinking").textContent = `depth ${depth} · score ${(score / 100).toFixed(2)} · ` +
            `${(time / 100).toFixed(2)} s · ${nodes} nodes · ${pv}`
        return
    }
    if (text.startsWith("move ")) {
        onEngineMove(text.slice(5))
        return
    }
    const w = eng.waiters[0]
    if (!w) {
        if (text.startsWith("Error")) notice(`quarn: ${text}`)
        return
    }
    if (text.startsWith("Error")) w.errors.push(text)
    else if (w.kind === "divide") {
        const entry = /^# (\S+?) *: \d+$/.exec(text)
        if (entry) w.list.push(entry[1])
        else if (text.startsWith("# perft(1) = ")) finishWaiter(w.list)
    } else if (text === `pong ${w.id}`) finishWaiter(w.errors)
}

function connect() {
    const ws = new WebSocket(`ws://${location.host}/ws`)
    eng.ws = ws
    ws.onmessage = (event) => {
        const m = JSON.parse(event.data)
        if (m.type === "line") onEngineLine(m.text)
        else if (m.type === "started") {
            eng.pid = m.pid
            document.body.dataset.enginePid = m.pid
            if (eng.onReady) {
                const run = eng.onReady
                eng.onReady = null
                run()
            } else replay()
        } else if (m.type === "exit") {
            engineDied(m.error || (m.signal ? `killed by ${m.signal}` : `exit status ${m.code}`))
        } else if (m.type === "busy") {
            eng.busy = true
            setPhase("busy")
            showBanner(m.text)
            render()
        } else if (m.type === "refused") {
            notice(`The server did not pass "${m.text}" on: ${m.reason}.`)
        }
    }
    ws.onclose = () => {
        if (eng.busy) return
        eng.thinking = false
        dropWaiters()
        stopClock()
        setPhase("offline")
        status("The board server has stopped. Start it again (./board.sh) and reload this page.")
    }
}

function engineDied(why) {
    eng.thinking = false
    eng.halfTurn = null
    dropWaiters()
    stopClock()
    if (++eng.restarts > MAX_RESTARTS) {
        setPhase("offline")
        status(`quarn stopped (${why}) ${MAX_RESTARTS} times in a row; reload the page to try again.`)
        return
    }
    notice(`quarn stopped (${why}); a fresh engine replays the game.`)
    eng.ws.send(JSON.stringify({type: "restart"}))
    setPhase("sync")
}

// Ends the engine (it cannot be interrupted while it thinks) and starts a
// fresh one, which replays the game from the record (or runs `then`).
function restartEngine(why, then = null) {
    eng.thinking = false
    eng.halfTurn = null
    eng.onReady = then
    dropWaiters()
    stopClock()
    if (why) notice(`${why}; a fresh engine replays the game.`)
    setPhase("sync")
    if (eng.ws && eng.ws.readyState === WebSocket.OPEN) eng.ws.send(JSON.stringify({type: "restart"}))
}

function withIdleEngine(run) {
    if (eng.thinking) restartEngine(null, run)
    else run()
}

// Brings the engine to the game's state: new game, settings, force mode and
// every turn of the record, then lets the side to move play.
function replay() {
    $("thinking").textContent = ""
    eng.gen++
    eng.thinking = false
    eng.halfTurn = null
    dropWaiters()
    stopClock()
    setPhase("sync")
    render()
    eng.draining = ++eng.serial
    const level = LEVELS[game.level]
    const commands = ["xboard", `ping ${eng.draining}`, "protover 2", "new", `variant ${game.variant}`,
        `level ${level.mps} ${level.text} 0`, game.random ? "rand" : "norand", "force"]
    if (game.startFen) commands.push(`setboard ${game.startFen}`)
    commands.push(...game.turns)
    if (game.result) commands.push(`result ${game.result.score}`)
    commands.forEach(send)
    nextTurn()
}

let legal = []         // the engine's legal moves or turns for the side to move
let firstMove = null   // the first move of a Marseillais turn, already on the board

async function nextTurn() {
    const gen = eng.gen
    let list
    try {
        list = await ask([], "divide")
    } catch {
        return
    }
    if (gen !== eng.gen) return
    eng.restarts = 0
    legal = list
    firstMove = null
    const fen = currentFen()
    if (!game.result) {
        if (!list.length) {
            const mated = inCheck(fen)
            const winner = other(sideOf(fen))
            finish(mated ? (winner === "w" ? "1-0" : "0-1") : "1/2-1/2",
                mated ? `Checkmate: ${colorName(winner)} wins` : "Stalemate: draw")
        } else {
            const draw = drawReason()
            if (draw) finish("1/2-1/2", `Draw by ${draw}`)
        }
    }
    if (game.result) {
        setPhase("over")
        render()
        return
    }
    if (sideOf(fen) === game.human) {
        setPhase("human")
        startClock()
    } else {
        eng.thinking = true
        setPhase("engine")
        startClock()
        send("go")
    }
    render()
}

function onEngineMove(word) {
    if (!eng.thinking) return
    if (word.endsWith(",")) {
        eng.halfTurn = word.slice(0, -1)
        showBoard(playMove(currentFen(), eng.halfTurn).fen, [eng.halfTurn])
        return
    }
    const text = eng.halfTurn ? `${eng.halfTurn},${word}` : word
    eng.thinking = false
    eng.halfTurn = null
    recordTurn(text)
    setPhase("sync")
    render()
    nextTurn()
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

// Draws a GUI adjudicates, since the engine detects none: threefold
// repetition of the position at the start of a turn, and 50 moves (turns in
// Marseillais) by each side without a capture or pawn move.
function drawReason() {
    const key = (fen) => fields(fen).slice(0, 4).join(" ")
    const now = key(currentFen())
    if (positions.filter((p) => key(p) === now).length >= 3) return "threefold repetition"
    if (Number(fields(currentFen())[4]) >= 100) {
        return game.variant === "normal" ? "the 50-move rule" : "the 50-turn rule"
    }
    return null
}

function finish(score, text) {
    stopClock()
    game.result = {score, text}
    save()
    send(`result ${score}`)
}

// ---- the board ---------------------------------------------------------------

let board = null
let shownOrientation = COLOR.white
const colorName = (side) => (side === "w" ? "White" : "Black")

// The moves the person may make now from `from`: first moves of the legal
// turns, or second moves that complete a turn begun with `firstMove`.
function candidates(from) {
    const moves = new Set()
    for (const entry of legal) {
        const parts = entry.split(",")
        const move = firstMove === null ? parts[0] : (parts[0] === firstMove ? parts[1] : undefined)
        if (move && move.startsWith(from)) moves.add(move)
    }
    return [...moves]
}

function onMoveInput(event) {
    if (event.type === INPUT_EVENT_TYPE.moveInputStarted) {
        const moves = candidates(event.squareFrom)
        board.addLegalMovesMarkers(moves.map((m) => ({to: m.slice(2, 4)})))
        return moves.length > 0
    }
    if (event.type === INPUT_EVENT_TYPE.validateMoveInput) {
        // The board never moves a piece itself: an accepted move is drawn from
        // the engine's record and chess.js, a refused one returns to its square.
        board.removeLegalMovesMarkers()
        const moves = candidates(event.squareFrom).filter((m) => m.slice(2, 4) === event.squareTo)
        if (moves.length > 1) {
            const color = game.human === "w" ? COLOR.white : COLOR.black
            setTimeout(() => board.showPromotionDialog(event.squareTo, color, (result) => {
                const uci = result.piece && event.squareFrom + event.squareTo + result.piece.charAt(1)
                if (result.type === PROMOTION_DIALOG_RESULT_TYPE.pieceSelected && moves.includes(uci)) humanMove(uci)
                else render()
            }))
        } else if (moves.length === 1) {
            setTimeout(() => humanMove(moves[0]))
        }
        return false
    }
    if (event.type === INPUT_EVENT_TYPE.moveInputCanceled) board.removeLegalMovesMarkers()
    return true
}

function humanMove(uci) {
    if (eng.phase !== "human" && eng.phase !== "second") return
    if (game.variant === "normal") return humanTurnDone(uci)
    if (firstMove !== null) return humanTurnDone(`${firstMove},${uci}`)
    if (legal.includes(uci)) return humanTurnDone(uci)   // a one-move turn: a check, or White's first turn
    firstMove = uci
    setPhase("second")
    render()
}

function showBoard(fen, lastMoves) {
    board.setPosition(fen, true)
    board.removeMarkers(MARKER_TYPE.square)
    board.removeMarkers(MARKER_TYPE.frameDanger)
    for (const uci of lastMoves) {
        board.addMarker(MARKER_TYPE.square, uci.slice(0, 2))
        board.addMarker(MARKER_TYPE.square, uci.slice(2, 4))
    }
}

// ---- the rest of the page --------------------------------------------------

function setPhase(phase) {
    eng.phase = phase
    document.body.dataset.phase = phase
    clearInterval(eng.idlePing)
    if (phase === "human" || phase === "second" || phase === "over") {
        const gen = eng.gen
        eng.idlePing = setInterval(() => {
            if (gen === eng.gen && !eng.waiters.length) ask([], "ping").catch(() => {})
        }, IDLE_PING_MS)
    }
}

function status(text) {
    $("status").textContent = text
}

let noticeTimer = null

function notice(text) {
    $("engine-state").textContent = text
    clearTimeout(noticeTimer)
    noticeTimer = setTimeout(() => ($("engine-state").textContent = ""), 15000)
}

function showBanner(text) {
    $("banner").textContent = text
    $("banner").hidden = !text
}

function render() {
    const fen = currentFen()
    const lastTurn = game.turns[game.turns.length - 1]
    if (firstMove !== null) showBoard(playMove(fen, firstMove).fen, [firstMove])
    else if (eng.halfTurn === null) showBoard(fen, lastTurn ? lastTurn.split(",") : [])
    if (inCheck(fen) && firstMove === null) {
        const chess = new Chess(fen)
        const king = chess.findPiece({type: "k", color: sideOf(fen)})[0]
        if (king) board.addMarker(MARKER_TYPE.frameDanger, king)
    }
    const orientation = (game.human === "w") !== game.flipped ? COLOR.white : COLOR.black
    if (shownOrientation !== orientation) {
        shownOrientation = orientation
        board.setOrientation(orientation)
    }

    const yourTurn = eng.phase === "human" || eng.phase === "second"
    board.disableMoveInput()
    if (yourTurn) board.enableMoveInput(onMoveInput, game.human === "w" ? COLOR.white : COLOR.black)

    $("variant").value = game.variant
    $("side").value = game.human
    $("level").value = game.level
    $("random").checked = game.random
    $("fen").textContent = fen
    $("take-back").disabled = !game.turns.some((_, i) => sideOfTurn(i) === game.human) && firstMove === null
    $("resign").disabled = !!game.result || eng.phase === "busy"
    showBanner(game.result ? `${game.result.text} (${game.result.score})` : eng.busy ? $("banner").textContent : "")

    const marseillais = game.variant === "marseillais"
    const phaseText = {
        connecting: "Connecting to the board server…",
        sync: "quarn is getting ready…",
        human: marseillais && legal.some((t) => t.includes(","))
            ? "Your turn: the first of two moves (a first move that gives check ends the turn)." : "Your move.",
        second: `Your second move (after ${firstMove}).`,
        engine: "quarn is thinking…",
        over: "Game over. New game, Take back or Set up position to go on.",
        busy: "No engine free.",
        offline: $("status").textContent,
    }
    status(phaseText[eng.phase] ?? "")
    renderMoves()
    renderClocks()
}

function renderMoves() {
    const list = $("moves")
    list.textContent = ""
    const start = positions[0]
    let number = Number(fields(start)[5]) || 1
    let row = null
    game.turns.forEach((text, i) => {
        const side = sideOfTurn(i)
        if (side === "w" || row === null) {
            row = document.createElement("li")
            row.value = number
            list.append(row)
            if (side === "b") row.append(cell("…"))
        }
        row.append(cell(text))
        if (side === "b") number++
    })
    list.scrollTop = list.scrollHeight
}

function cell(text) {
    const span = document.createElement("span")
    span.textContent = text
    return span
}

function renderClocks() {
    const c = clocksNow()
    const bottomSide = shownOrientation === COLOR.white ? "w" : "b"
    const running = turnStartedAt !== null ? sideOf(currentFen()) : null
    for (const [id, side] of [["clock-bottom", bottomSide], ["clock-top", other(bottomSide)]]) {
        const el = $(id)
        el.querySelector(".who").textContent = `${colorName(side)} (${side === game.human ? "you" : "quarn"})`
        el.querySelector(".time").textContent = formatClock(c[side])
        el.dataset.side = side
        el.classList.toggle("running", running === side)
        el.classList.toggle("flagged", c[side] <= 0)
    }
}

function tick() {
    if (turnStartedAt === null) return
    const c = clocksNow()
    save()
    renderClocks()
    const side = sideOf(currentFen())
    if (side === game.human && c[side] <= 0 && !game.result) {
        firstMove = null
        finish(side === "w" ? "0-1" : "1-0", `${colorName(side)}'s time ran out: ${colorName(other(side))} wins`)
        setPhase("over")
        render()
    }
}

function settings() {
    return {
        variant: $("variant").value, human: $("side").value, level: $("level").value,
        random: $("random").checked, flipped: game.flipped,
    }
}

function newGame(startFen = null) {
    withIdleEngine(() => {
        stopClock()
        game = freshGame(settings())
        game.startFen = startFen
        legal = []
        firstMove = null
        $("thinking").textContent = ""
        rebuildPositions()
        save()
        replay()
    })
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
        if (sideOfTurn(i) === game.human) keep = i
    })
    if (keep < 0) return
    withIdleEngine(() => {
        stopClock()
        game.turns.length = keep
        game.clocks.length = keep + 1
        game.spent = 0
        game.result = null
        rebuildPositions()
        save()
        replay()
    })
}

function resign() {
    if (game.result) return
    withIdleEngine(() => {
        firstMove = null
        finish(game.human === "w" ? "0-1" : "1-0", `${colorName(game.human)} resigned: ${colorName(other(game.human))} wins`)
        replay()
    })
}

// A FEN is checked by the engine first: a refused one shows the engine's
// error and the game goes on.
function setUp() {
    const fen = $("setup-fen").value.trim().replace(/\s+/g, " ")
    const error = $("setup-error")
    error.textContent = ""
    if (!fen) return
    if (fen.length > 200 || !/^[A-Za-z0-9/ -]+$/.test(fen)) {
        error.textContent = "That is not a FEN (letters, digits, '/', '-' and spaces only)."
        return
    }
    withIdleEngine(async () => {
        eng.gen++
        dropWaiters()
        stopClock()
        setPhase("sync")
        let errors
        try {
            errors = await ask(["force", `setboard ${fen}`], "ping")
        } catch {
            return
        }
        if (!errors.length) {
            try {
                new Chess(fen)
            } catch (e) {
                errors = [`The board cannot show this position: ${e.message}`]
            }
        }
        if (errors.length) {
            error.textContent = errors.join("\n")
            replay()
            return
        }
        $("setup").open = false
        newGame(fen)
    })
}

function download() {
    const level = LEVELS[game.level]
    const human = colorName(game.human)
    const headers = [["Event", "quarn board game"], ["Site", location.host], ["Date", new Date().toISOString().slice(0, 10).replaceAll("-", ".")],
        ["Round", "-"], ["White", human === "White" ? "Player" : "quarn"], ["Black", human === "Black" ? "Player" : "quarn"],
        ["Result", game.result ? game.result.score : "*"], ["TimeControl", `${level.mps}/${level.base}`]]
    if (game.variant === "marseillais") headers.push(["Variant", "Marseillais"])
    if (game.startFen) headers.push(["SetUp", "1"], ["FEN", game.startFen])
    let text
    if (game.variant === "normal") {
        const chess = new Chess(positions[0])
        for (const t of game.turns) chess.move(uciParts(t))
        for (const [k, v] of headers) chess.setHeader(k, v)
        text = chess.pgn()
    } else {
        const moves = $("moves").querySelectorAll("li")
        const body = [...moves].map((li) => `${li.value}.${[...li.children].map((s) => " " + s.textContent).join("")}`)
        text = headers.map(([k, v]) => `[${k} "${v}"]`).join("\n") + "\n\n" +
            (body.join(" ") + " " + (game.result ? game.result.score : "*")).replace(/ …/g, "..")
    }
    const a = document.createElement("a")
    a.href = URL.createObjectURL(new Blob([text + "\n"], {type: "application/x-chess-pgn"}))
    a.download = `quarn-${game.variant}.pgn`
    a.click()
    setTimeout(() => URL.revokeObjectURL(a.href), 1000)
}

function copyFen() {
    const fen = currentFen()
    if (navigator.clipboard) navigator.clipboard.writeText(fen).then(() => notice("FEN copied."), () => selectFen())
    else selectFen()
}

function selectFen() {
    const range = document.createRange()
    range.selectNodeContents($("fen"))
    getSelection().removeAllRanges()
    getSelection().addRange(range)
    notice("FEN selected: press Ctrl-C to copy it.")
}

function main() {
    game = loadGame()
    board = new Chessboard($("board"), {
        position: START_FEN,
        assetsUrl: "/vendor/cm-chessboard/assets/",
        style: {borderType: "frame", animationDuration: 150},
        extensions: [{class: Markers, props: {autoMarkers: MARKER_TYPE.square}}, {class: PromotionDialog}],
    })
    for (const [key, level] of Object.entries(LEVELS)) $("level").append(new Option(level.label, key))
    $("variant").addEventListener("change", () => newGame())
    $("side").addEventListener("change", () => newGame())
    $("level").addEventListener("change", () => newGame())
    $("random").addEventListener("change", () => {
        game.random = $("random").checked
        save()
        send(game.random ? "rand" : "norand")
    })
    $("new-game").addEventListener("click", () => newGame())
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

    rebuildPositions()
    render()
    connect()
    setInterval(tick, 250)
}

// The page runs in a browser; Node's tests import the position rules only.
if (typeof document !== "undefined") main()

export {afterTurn, START_FEN}
