// The game flow under Node with a scripted fake engine: one table of races
// (moves at the flag, engine answers after a control, an engine's death, a
// reload), then the flag's draw rule, the free first turn and review.
import {test} from "node:test"
import assert from "node:assert/strict"
import {Chess} from "chess.js"
import {initialState, step, clocksAt, reviewSteps, stepPosition} from "../public/flow.js"
import {freshGame} from "../public/record.js"
import {canMate} from "../public/adjudicate.js"
import {scoreText, gameHeaders} from "../public/notation.js"
import {importPgn, shareFragment, readShareFragment} from "../public/import.js"
import {LEVELS} from "../public/clock.js"

// The engine as the flow sees it: it keeps its own position from the lines it
// is sent, answers "divide 1" with chess.js's legal moves (normal chess) or a
// given list, and records every line, restart and release.
class FakeEngine {
    constructor() {
        this.lines = []
        this.asks = []
        this.restarts = 0
        this.released = 0
        this.chess = new Chess()
        this.variant = "normal"
    }

    take(command) {
        if (command.type === "send") this.line(command.line)
        else if (command.type === "reset") command.lines.forEach((l) => this.line(l))
        else if (command.type === "ask" || command.type === "check-fen") this.asks.push({...command, list: this.legalMoves()})
        else if (command.type === "check-import") this.asks.push({...command, errors: this.refusals(command.lines)})
        else if (command.type === "restart") {
            this.restarts++
            this.asks = []
        } else if (command.type === "release") this.released++
    }

    line(text) {
        this.lines.push(text)
        if (text === "new") this.chess = new Chess()
        else if (text.startsWith("variant ")) this.variant = text.slice(8)
        else if (text.startsWith("setboard ")) this.chess = new Chess(text.slice(9))
        else if (this.variant === "normal" && /^[a-h][1-8][a-h][1-8][qrbn]?$/.test(text)) this.chess.move({from: text.slice(0, 2), to: text.slice(2, 4), promotion: text[4]})
    }

    // The errors a game's lines draw: normal chess by chess.js, a Marseillais turn refused when listed in `refuse`.
    refusals(lines) {
        const errors = []
        for (const text of lines) {
            try {
                if (this.refuse?.includes(text)) throw new Error(text)
                this.line(text)
            } catch {
                errors.push(`Error (illegal move): ${text}`)
            }
        }
        return errors
    }

    legalMoves() {
        return this.chess.moves({verbose: true}).map((m) => m.from + m.to + (m.promotion ?? ""))
    }
}

// Runs a script: each entry is an event, or "answer" (the engine answers its
// latest question; "answer-oldest": its oldest) with a time. Returns the last
// state and the engine.
function play(game, script, refuse = []) {
    let state = initialState(game)
    const engine = new FakeEngine()
    engine.refuse = refuse
    const run = (event) => {
        const next = step(state, event)
        state = next.state
        next.commands.forEach((c) => engine.take(c))
    }
    for (const entry of [["ready"], ...script]) {
        const [type, a, b] = entry
        if (type === "answer" || type === "answer-oldest") {
            const ask = type === "answer" ? engine.asks.pop() : engine.asks.shift()
            if (ask.type === "check-import") run({type: "import-checked", gen: ask.gen, errors: ask.errors})
            else if (ask.type === "check-fen") run({type: "fen-checked", gen: ask.gen, fen: ask.fen, errors: []})
            else run({type: "legal", gen: ask.gen, list: ask.list, now: a})
        } else if (type === "move") run({type, uci: a, now: b})
        else if (type === "quarn") {
            engine.line(a) // the engine plays the move it prints
            run({type: "engine-move", word: a, now: b})
        }
        else if (type === "tick" || type === "take-back" || type === "resign" || type === "release" || type === "show") {
            run({type, now: a})
        } else if (type === "died") run({type, why: "killed", now: a})
        else if (type === "new-game") run({type, settings: {...game, startFen: null}, now: a})
        else if (type === "setup") run({type, fen: a, now: b})
        else run({type, ...a})
    }
    return {state, engine}
}

const quick = (fields = {}) => ({...freshGame({variant: "normal", human: "w", level: "quick"}), ...fields})
const MATE_IN_ONE = "6k1/6pp/8/8/8/8/5PPP/1R4K1 w - - 0 1" // Rb1a1 Kg8h8, then Ra8# (quick: 30 s a side)

// Each row: a name, the game, the script, then what must hold.
const RACES = [
    ["a move 1 ms before the flag counts", quick(), [["answer", 0], ["move", "e2e4", 0], ["answer", 0],
        ["quarn", "e7e5", 500], ["answer", 1000], ["move", "d2d4", 30999], ["answer", 31000]],
    {turns: 3, result: null, phase: "engine"}],
    ["a move 1 ms after the flag is refused: a time loss", quick(), [["answer", 0], ["move", "e2e4", 0], ["answer", 0],
        ["quarn", "e7e5", 500], ["answer", 1000], ["move", "d2d4", 31001]],
    {turns: 2, result: "White's time ran out: Black wins", phase: "over", last: "result 0-1", whiteClock: 0}],
    ["a mate after the flag is a time loss", quick({startFen: MATE_IN_ONE}), [["answer", 0], ["move", "b1a1", 0],
        ["answer", 0], ["quarn", "g8h8", 10], ["answer", 20], ["move", "a1a8", 30021]],
    {turns: 2, result: "White's time ran out: Black wins", phase: "over"}],
    ["a mate just before the flag wins", quick({startFen: MATE_IN_ONE}), [["answer", 0], ["move", "b1a1", 0],
        ["answer", 0], ["quarn", "g8h8", 10], ["answer", 20], ["move", "a1a8", 30019], ["answer", 30019]],
    {turns: 3, result: "Checkmate: White wins", phase: "over"}],
    ["quarn's move after its flag is refused; its engine is replaced", quick(), [["answer", 0], ["move", "e2e4", 0],
        ["answer", 0], ["quarn", "e7e5", 10], ["answer", 10], ["move", "d2d4", 20], ["answer", 30],
        ["quarn", "d7d5", 30031]],
    {turns: 3, result: "Black's time ran out: White wins", phase: "sync", restarts: 1}],
    ["the flag falls on a tick", quick(), [["answer", 0], ["move", "e2e4", 0], ["answer", 0], ["quarn", "e7e5", 10],
        ["answer", 10], ["tick", 30009], ["tick", 30011]],
    {turns: 2, result: "White's time ran out: Black wins", phase: "over"}],
    ["a flag against a bare king is a draw", quick({startFen: "4k3/8/8/8/8/8/R7/4K3 w - - 0 1"}), [["answer", 0],
        ["move", "a2a1", 0], ["answer", 0], ["quarn", "e8d8", 10], ["answer", 10], ["tick", 30011]],
    {turns: 2, result: "White's time ran out; Black cannot mate: draw", score: "1/2-1/2", phase: "over"}],
    ["a clock starts with its side's first turn", quick(), [["answer", 0], ["tick", 60000], ["move", "e2e4", 61000],
        ["answer", 61000], ["tick", 200000], ["quarn", "e7e5", 200000], ["answer", 200000], ["tick", 201000]],
    {turns: 2, result: null, whiteClock: 29000, blackClock: 30000}],
    ...[[29999, null, 3], [30001, "White's time ran out: Black wins", 2]].map(([second, result, turns]) => [
        `a Marseillais turn's second move at ${second} ms`, {...freshGame({variant: "marseillais", human: "w", level: "quick"}),
            turns: ["e2e4", "e7e5,d7d5"], clocks: Array(3).fill({w: 30000, b: 30000})},
        [["legal", {gen: 1, list: ["d2d4,g1f3", "d2d4,b1c3", "g1f3,f3g5"], now: 0}], ["move", "d2d4", 10000],
            ["move", "g1f3", second]], {turns, result}]),
    ["quarn's move after New game is dropped", quick({human: "b"}), [["answer", 0], ["new-game", 100],
        ["quarn", "e2e4", 200], ["ready"], ["answer", 300]],
    {turns: 0, phase: "engine", restarts: 1, last: "go"}],
    ["a legal list asked for before New game is dropped", quick(), [["answer", 0], ["move", "e2e4", 0],
        ["new-game", 10], ["answer-oldest", 20]],
    {turns: 0, phase: "sync", legal: 0}],
    ["quarn's move after Take back is dropped", quick(), [["answer", 0], ["move", "e2e4", 0], ["answer", 0],
        ["take-back", 100], ["quarn", "e7e5", 200], ["ready"], ["answer", 300]],
    {turns: 0, phase: "human", restarts: 1}],
    ["quarn's move after Set up is dropped; the engine checks the FEN", quick(), [["answer", 0], ["move", "e2e4", 0],
        ["answer", 0], ["setup", "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1", 100], ["quarn", "e7e5", 200], ["ready"],
        ["answer"], ["answer", 300]],
    {turns: 0, phase: "human", restarts: 1, startFen: "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1"}],
    ["an engine dying mid-turn: a fresh one replays and thinks again", quick(), [["answer", 0], ["move", "e2e4", 0],
        ["answer", 0], ["quarn", "e7e5", 10], ["answer", 10], ["move", "d2d4", 20], ["answer", 30], ["died", 5030],
        ["quarn", "d7d5", 5040], ["ready"], ["answer", 6000]],
    {turns: 3, phase: "engine", restarts: 1, blackClock: 25000, last: "go", replayed: ["e2e4", "e7e5", "d2d4"]}],
    ["a reload mid-turn: the stored game is replayed, quarn plans with its clock", quick({turns: ["e2e4", "e7e5", "d2d4"],
        clocks: [{w: 30000, b: 30000}, {w: 30000, b: 30000}, {w: 30000, b: 29000}, {w: 25000, b: 29000}], spent: 4000}),
    [["answer", 0], ["tick", 1000]],
    {turns: 3, phase: "engine", blackClock: 24000, level: "level 40 0:25 0", replayed: ["e2e4", "e7e5", "d2d4"]}],
    ["a reload past quarn's flag is a time loss at once", quick({turns: ["e2e4"],
        clocks: [{w: 30000, b: 30000}, {w: 29000, b: 4000}], spent: 6000}), [["answer", 0]],
    {turns: 1, phase: "over", result: "Black's time ran out: White wins"}],
    ["a hidden tab gives its engine back, clocks stopped, and replays when shown", quick(), [["answer", 0],
        ["move", "e2e4", 0], ["answer", 0], ["quarn", "e7e5", 10], ["answer", 10], ["release", 1010],
        ["tick", 600000], ["show", 600000], ["ready"], ["answer", 600000], ["tick", 601000]],
    {turns: 2, phase: "human", released: 1, whiteClock: 28000, replayed: ["e2e4", "e7e5"]}],
]

test("races at the clock and between the engine and the controls", () => {
    for (const [name, game, script, want] of RACES) {
        const {state, engine} = play(game, script)
        const now = script.findLast((e) => typeof e[e.length - 1] === "number")?.at(-1) ?? 0
        const got = {turns: state.game.turns.length, result: state.game.result?.text ?? null, score: state.game.result?.score,
            phase: state.phase,
            restarts: engine.restarts, last: engine.lines.at(-1), released: engine.released, startFen: state.game.startFen,
            whiteClock: clocksAt(state, now).w, blackClock: clocksAt(state, now).b, legal: state.legal.length,
            level: engine.lines.findLast((l) => l.startsWith("level "))}
        if (want.replayed) {
            const from = engine.lines.lastIndexOf("force") + 1
            got.replayed = engine.lines.slice(from, from + want.replayed.length)
        }
        for (const key of Object.keys(want)) assert.deepEqual(got[key], want[key], `${name}: ${key}`)
    }
})

test("who can still mate when the other side's time runs out", () => {
    const cases = [
        // FEN, side, normal, Marseillais
        ["4k3/8/8/8/8/8/8/R3K3 w - - 0 1", "b", false, false], // a bare king
        ["4k3/8/8/8/8/8/8/R3K3 w - - 0 1", "w", true, true],
        ["4k3/8/8/8/8/8/8/N3K3 w - - 0 1", "w", false, true],  // a knight against a bare king
        ["4k3/7p/8/8/8/8/8/N3K3 w - - 0 1", "w", true, true],  // the pawn may block its own king
        ["2b1k3/8/8/8/8/8/8/3BK3 w - - 0 1", "w", false, true], // bishops on light squares only
        ["3bk3/8/8/8/8/8/8/3BK3 w - - 0 1", "w", true, true],  // bishops on both colours
        ["4k3/8/8/8/8/8/8/2BBK3 w - - 0 1", "w", true, true],
    ]
    for (const [fen, side, normal, marseillais] of cases) {
        assert.equal(canMate(fen, side, "normal"), normal, `${fen} ${side}`)
        assert.equal(canMate(fen, side, "marseillais"), marseillais, `${fen} ${side} Marseillais`)
    }
})

test("review walks the moves, turns and both moves of a Marseillais turn", () => {
    const game = {...freshGame({variant: "marseillais", human: "w", level: "quick"}),
        turns: ["e2e4", "e7e5,b8c6", "d2d4,g1f3"], clocks: Array(4).fill({w: 30000, b: 30000})}
    let state = initialState(game)
    assert.equal(reviewSteps(state).length, 6)
    const walk = [["first", 0], ["next", 1], ["next-turn", 3], ["prev", 2], ["next-turn", 3], ["prev", 2],
        ["prev-turn", 1], ["prev-turn", 0], ["prev", 0], ["last", null], ["next", null], [{turn: 1}, 3], ["prev-turn", 1],
        ["end", 1]]
    for (const [to, want] of walk) {
        state = step(state, {type: "review", to}).state
        assert.equal(state.viewing, want, JSON.stringify(to))
    }
    state = step(state, {type: "review", to: "next"}).state
    assert.deepEqual(stepPosition(state, state.viewing), {fen: "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 2", marks: ["e7e5"]})
})

test("scores as players read them", () => {
    const cases = [[35, "+0.35"], [-120, "-1.20"], [0, "0.00"], [31999, "#1"], [31997, "#2"], [31995, "#3"],
        [-31998, "#-1"], [-31996, "#-2"], [31000 - 976, "+300.24"]]
    for (const [score, text] of cases) assert.equal(scoreText(score), text, String(score))
})

const MARSEILLAIS_PGN = `[Event "x"]
[Variant "Marseillais"]
[TimeControl "180+2"]

1. e4 {a first turn of one move} e5,Nc6 2. Nf3,Bc4 (2. d4,d5) Nf6,Nxe4 $2 3. Nxe5,Bxf7+ *`

// PGN in, coordinates out; a refusal names the first move that cannot be played.
test("a PGN read in both variants, or refused at its first unplayable move", () => {
    const cases = [
        ["1. e4 e5 2. Nf3 {book} Nc6 (2... d6 3. d4) 3. Bb5 a6?! $6 1-0", {variant: "normal",
            turns: ["e2e4", "e7e5", "g1f3", "b8c6", "f1b5", "a7a6"], result: "1-0"}],
        ["[FEN \"4k3/8/8/8/8/8/4P3/4K3 b - -\"]\n\n1... Kd7 2. e4", {startFen: "4k3/8/8/8/8/8/4P3/4K3 b - - 0 1",
            turns: ["e8d7", "e2e4"], result: "*"}],
        [MARSEILLAIS_PGN, {variant: "marseillais", level: "i3",
            turns: ["e2e4", "e7e5,b8c6", "g1f3,f1c4", "g8f6,f6e4", "f3e5,c4f7"]}],
        ["1. e4 e5 2. Ke3 Nc6", {error: "The move 2. Ke3 cannot be played here.", at: 2}],
        ["[Variant \"Marseillais\"]\n1. e4 e5,e4", {error: "The move 1... e5,e4 cannot be played here.", at: 1}],
        ["[Variant \"Marseillais\"]\n1. e4 e5,d5,c5", {error: "The move 1... e5,d5,c5 cannot be played here.", at: 1}],
        ["[Variant \"Atomic\"]\n1. e4", {error: "quarn plays normal chess and Marseillais, not \"Atomic\"."}],
    ]
    for (const [text, want] of cases) {
        const got = importPgn(text)
        for (const key of Object.keys(want)) assert.deepEqual(got[key], want[key], `${text}: ${key}`)
    }
})

test("an imported game is checked by the engine, installed, and can be played on from any turn", () => {
    const base = quick()
    const imported = (text, refuse) => play(base, [["answer", 0], ["import", {game: importPgn(text), now: 10}],
        ["answer"], ["answer", 20]], refuse)
    // Good: the person takes the side to move; the engine replays the game.
    let {state, engine} = imported("1. e4 e5 2. Nf3")
    assert.deepEqual([state.game.turns.length, state.game.human, state.phase, state.importError], [3, "b", "human", ""])
    assert.deepEqual(engine.lines.slice(-3), ["e2e4", "e7e5", "g1f3"])
    // Refused by the engine (a Marseillais rule chess.js does not know): the old game stays.
    ;({state} = imported(MARSEILLAIS_PGN, ["f3e5,c4f7"]))
    assert.equal(state.importError, "The move 3. Nxe5,Bxf7+ cannot be played: it breaks the rules of Marseillais chess " +
        "(a first move that gives check ends the turn; every other turn has two moves).")
    assert.deepEqual([state.game.variant, state.game.turns.length, state.phase], ["normal", 0, "human"])
    // Play on from the position after White's second turn: the person is Black, quarn plays on.
    ;({state, engine} = play(base, [["answer", 0], ["import", {game: importPgn(MARSEILLAIS_PGN), now: 10}], ["answer"],
        ["answer", 20], ["review", {to: {turn: 2}}], ["play-here", {now: 30}], ["answer", 40]]))
    assert.deepEqual([state.game.turns, state.game.human, state.phase, state.game.level],
        [["e2e4", "e7e5,b8c6", "g1f3,f1c4"], "b", "human", "i3"])
})

test("a share link holds the game and gives it back; a tampered one names its bad move", () => {
    for (const game of [{variant: "normal", startFen: null, turns: ["e2e4", "e7e5", "e1e2"], level: "m1"},
        {variant: "marseillais", startFen: "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1", turns: ["e2e4", "e8d7,d7d6"], level: "i10"}]) {
        assert.deepEqual(readShareFragment(shareFragment(game)), {...game, result: "*"})
    }
    assert.deepEqual(readShareFragment("#variant=normal&turns=e2e4+e7e5+e4e5+a1a8"),
        {error: "The link's move 2. e4e5 cannot be played here.", at: 2})
    assert.equal(readShareFragment("#top"), null)
})

test("two people at one board: each side moves in turn, quarn never plays", () => {
    const both = quick({human: "both"})
    const foolsMate = [["answer", 0], ["move", "f2f3", 0], ["answer", 0], ["move", "e7e5", 10], ["answer", 10],
        ["move", "g2g4", 20], ["answer", 20], ["move", "d8h4", 30], ["answer", 40]]
    const {state, engine} = play(both, [...foolsMate, ["take-back", 50], ["answer", 60]])
    assert.equal(engine.lines.includes("go"), false)
    assert.deepEqual([state.game.turns.length, state.phase, state.game.result], [3, "human", null])
    const mated = play(both, foolsMate).state
    assert.equal(mated.game.result.text, "Checkmate: Black wins")
    assert.equal(gameHeaders(mated.game, LEVELS.quick, "", new Date(0)).find(([k]) => k === "Black")[1], "Player")
})

test("an increment is added after every turn, told to quarn and written to the PGN", () => {
    const game = freshGame({variant: "normal", human: "w", level: "i3"})
    const {state, engine} = play(game, [["answer", 0], ["move", "e2e4", 0], ["answer", 0], ["quarn", "e7e5", 5000],
        ["answer", 5000], ["move", "d2d4", 8000], ["answer", 8000]])
    assert.ok(engine.lines.includes("level 0 3 2"))
    // (a side's first turn is free)
    assert.deepEqual(state.game.clocks.at(-1), {w: 180000 - 3000 + 2000 * 2, b: 180000 + 2000})
    // quarn plans with 182 s + 2 s to come, as "3:05 + 2 s a move" less the 5 s it used and the 2 s it had
    assert.equal(engine.lines.at(-2), "level 0 3:05 2")
    assert.equal(gameHeaders(state.game, LEVELS.i3, "", new Date(0)).find(([k]) => k === "TimeControl")[1], "180+2")
})

// Runs events on a state and gathers the commands.
function run(state, events) {
    const commands = []
    for (const event of events) {
        const next = step(state, event)
        state = next.state
        commands.push(...next.commands)
    }
    return {state, commands}
}

test("the analysis engine follows the position shown and is ended when it is left", () => {
    const game = {...quick({turns: ["e2e4", "e7e5"]}), clocks: Array(3).fill({w: 30000, b: 30000})}
    const kinds = (commands) => commands.filter((c) => c.type.startsWith("analysis")).map((c) => c.type + (c.fresh ? "!" : ""))
    let {state, commands} = run(initialState(game), [{type: "analyse", on: true}])
    assert.deepEqual(kinds(commands), ["analysis-start!"])
    assert.deepEqual(commands[0].lines.slice(-3), [`setboard ${state.positions[2]}`, "level 1 180 0", "go"])
    const gen = state.analysisGen
    ;({state, commands} = run(state, [{type: "analysis-info", gen, info: {depth: 3, score: 31997, pv: "a"}},
        {type: "tick", now: 5}, {type: "analysis-info", gen: gen - 1, info: {depth: 9, score: 0, pv: "b"}}]))
    assert.deepEqual([commands.length, state.analysis.info.depth], [0, 3]) // nothing restarted; a stale line dropped
    ;({state, commands} = run(state, [{type: "review", to: "first"}, {type: "review", to: "next"}]))
    assert.deepEqual(kinds(commands), ["analysis-start!", "analysis-start!"])
    assert.equal(state.analysis.fen, state.positions[1])
    ;({state, commands} = run(state, [{type: "analysis-busy", gen: state.analysisGen, text: "All 4 engines are busy"}]))
    assert.equal(state.analysis.error, "All 4 engines are busy")
    ;({state, commands} = run(state, [{type: "analyse", on: false}]))
    assert.deepEqual([kinds(commands), state.analysis], [["analysis-stop"], null])
    ;({state, commands} = run(state, [{type: "analyse", on: true}, {type: "release", now: 10}]))
    assert.deepEqual(kinds(commands), ["analysis-start!", "analysis-stop"]) // a hidden tab gives it back too
})

test("a game review searches every position on one engine and marks the turns that lost most", () => {
    const game = {...quick({turns: ["f2f3", "e7e5", "g2g4", "d8h4"], result: {score: "0-1", text: "Checkmate: Black wins"}}),
        clocks: Array(5).fill({w: 30000, b: 30000})}
    let {state, commands} = run(initialState(game), [{type: "game-review", on: true}])
    const starts = [commands[0]]
    for (const score of [20, -40, 150, 31998]) { // each from the side to move; the mate on the board is not searched
        const gen = state.analysisGen
        ;({state, commands} = run(state, [{type: "analysis-info", gen, info: {depth: 5, score, pv: ""}},
            {type: "analysis-move", gen}]))
        starts.push(...commands.filter((c) => c.type === "analysis-start"))
    }
    assert.deepEqual(starts.map((c) => c.fresh), [true, false, false, false])
    assert.deepEqual(starts.map((c) => c.lines.slice(-3, -1)), Array(4).fill(["level 1 0:10 0", "sd 6"]))
    assert.deepEqual(commands.map((c) => c.type), ["analysis-stop"])
    assert.deepEqual(state.gameReview.drops.map((d) => [d.drop, d.marked]),
        [[-20, false], [110, true], [150 + 2000, true], [2000 - 2000, false]]) // a mate counts as 20 pawns
})

test("a game review waits for both moves of a Marseillais turn before it goes on", () => {
    const game = {...quick({variant: "marseillais", turns: ["e2e4", "d7d5,d5e4"]}), clocks: Array(3).fill({w: 30000, b: 30000})}
    let {state, commands} = run(initialState(game), [{type: "game-review", on: true}])
    assert.equal(commands[0].lines.at(-2), "sd 2")
    const answer = (word) => ({type: "analysis-move", gen: state.analysisGen, word})
    ;({state} = run(state, [answer("e2e4"), answer("d7d5,")]))
    assert.equal(state.gameReview.at, 1) // the first move of Black's turn ends no search
    ;({state} = run(state, [answer("d5e4")]))
    assert.equal(state.gameReview.at, 2)
})
