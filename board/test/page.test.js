// The page's own logic under Node: SAN and the Marseillais comma pairs, the
// PGN movetext, typed moves, the draws a GUI adjudicates, and the "level"
// line that gives quarn its real time.
import {test} from "node:test"
import assert from "node:assert/strict"
import fs from "node:fs"
import {START_FEN, afterTurn, sideOf} from "../public/positions.js"
import {turnSan, moveRows, movetext, parseTypedTurn} from "../public/notation.js"
import {insufficientMaterial, gameEnd} from "../public/adjudicate.js"
import {planLevel, engineBudget} from "../public/clock.js"

// Plays turns from a FEN: the SAN of each, and the positions before each turn and at the end.
function play(fen, turns, variant) {
    const positions = [fen]
    const sans = turns.map((t) => {
        const san = turnSan(positions.at(-1), t)
        positions.push(afterTurn(positions.at(-1), t, variant))
        return san
    })
    return {sans, positions, text: (result) => movetext(moveRows(fen, sans, (i) => sideOf(positions[i])), result)}
}

test("SAN movetext in both variants, from the start and from a FEN with Black to move", () => {
    const cases = [
        [START_FEN, "marseillais", ["e2e4", "e7e5,b8c6", "d1h5,g1f3", "g7g6,g6h5"], "*",
            "1. e4 e5,Nc6 2. Qh5,Nf3 g6,gxh5 *"],
        [START_FEN, "normal", ["e2e4", "d7d5", "e4d5", "d8d5", "b1c3"], "*", "1. e4 d5 2. exd5 Qxd5 3. Nc3 *"],
        ["4k3/1P6/8/8/8/8/8/R3K3 b Q - 0 7", "normal", ["e8d7", "b7b8q", "d7e6", "e1c1"], "1-0",
            "7... Kd7 8. b8=Q Ke6 9. O-O-O 1-0"],
        ["4k3/8/8/8/8/8/8/R3K3 w Q - 0 1", "marseillais", ["a1a8"], "*", "1. Ra8+ *"],
        ["7k/6pp/8/8/8/8/5PPP/R5K1 w - - 0 1", "marseillais", ["a1a7,a7a8"], "1-0", "1. Ra7,Ra8# 1-0"],
    ]
    for (const [fen, variant, turns, result, expected] of cases) assert.equal(play(fen, turns, variant).text(result), expected)
    const long = play(START_FEN, Array(30).fill(["g1f3", "g8f6", "f3g1", "f6g8"]).flat(), "normal").text("*")
    assert.ok(long.split("\n").every((line) => line.length <= 79) && long.includes("\n"))
})

test("typed moves: SAN, coordinates, Marseillais pairs, decided by the legal list", () => {
    const legalNormal = ["e2e4", "e2e3", "g1f3", "b1c3"]
    const turns = ["e2e4,d2d4", "e2e4,g1f3", "g1f3,f3g5", "d2d4,e2e4"]
    const PROMOTION = "4k3/1P6/8/8/8/8/8/4K3 w - - 0 1"
    const promotions = ["b7b8q", "b7b8r", "b7b8b", "b7b8n", "e1e2"]
    const cases = [
        ["e4", legalNormal, null, ["e2e4"]], ["E2-E4", legalNormal, null, ["e2e4"]], ["nf3", legalNormal, null, ["g1f3"]],
        ["Nf3+", legalNormal, null, ["g1f3"]], ["e5", legalNormal, null, null],
        ["e4,d4", turns, null, ["e2e4", "d2d4"]], ["Nf3, Ng5", turns, null, ["g1f3", "f3g5"]], ["Nf3", turns, "e2e4", ["g1f3"]],
        ["e4,Ng5", turns, null, null], ["e4,d4,c4", turns, null, null],
        ["b8Q", promotions, null, ["b7b8q"], PROMOTION], ["b8=n", promotions, null, ["b7b8n"], PROMOTION],
    ]
    for (const [typed, legal, first, expected, fen = START_FEN] of cases) {
        assert.deepEqual(parseTypedTurn(typed, fen, legal, first), expected, typed)
    }
})

test("insufficient material", () => {
    const cases = [
        ["4k3/8/8/8/8/8/8/4K3 w - - 0 1", true, true],
        ["4k3/8/8/8/8/8/8/3NK3 w - - 0 1", true, false],
        ["4k3/8/8/8/8/8/8/3BK3 b - - 0 1", true, false],
        ["2b1k3/8/8/8/8/8/8/3BK3 w - - 0 1", true, false],  // c8 and d1: both light squares
        ["3bk3/8/8/8/8/8/8/3BK3 w - - 0 1", false, false],  // d8 dark, d1 light
        ["4k3/8/8/8/8/8/8/2NNK3 w - - 0 1", false, false],
        ["4k3/8/8/8/8/8/8/3RK3 w - - 0 1", false, false],
        ["4k3/7p/8/8/8/8/8/4K3 w - - 0 1", false, false],
    ]
    for (const [fen, normal, marseillais] of cases) {
        assert.equal(insufficientMaterial(fen, "normal"), normal, fen)
        assert.equal(insufficientMaterial(fen, "marseillais"), marseillais, fen)
    }
})

test("game end: mate, stalemate, threefold, 50 moves or turns, insufficient material", () => {
    const shuffle = play(START_FEN, ["g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6", "f3g1", "f6g8"], "normal").positions
    const cases = [
        // positions before each turn, legal moves or turns, variant, the result's text (null: the game goes on)
        [shuffle.slice(0, -1), 20, "normal", null],
        [shuffle, 20, "normal", "Draw by threefold repetition"],
        [["R6k/6pp/8/8/8/8/8/6K1 b - - 0 1"], 0, "normal", "Checkmate: White wins"],
        [["k7/1B6/1K6/8/8/8/8/8 b - - 1 1"], 0, "marseillais", "Checkmate: White wins"], // a lone bishop mates
        [["7k/5Q2/8/8/8/8/8/6K1 b - - 0 1"], 0, "normal", "Stalemate: draw"],
        [["7k/8/8/8/8/8/8/R5K1 b - - 100 80"], 5, "marseillais", "Draw by the 50-turn rule"],
        [["7k/8/8/8/8/8/8/R5K1 b - - 99 80"], 5, "normal", null],
        [["4k3/8/8/8/8/8/8/4K3 b - - 0 1"], 5, "normal", "Draw by insufficient material"],
    ]
    for (const [positions, legal, variant, want] of cases) {
        assert.equal(gameEnd(positions, legal, variant)?.text ?? null, want, positions.at(-1))
    }
    assert.equal(gameEnd(["R6k/6pp/8/8/8/8/8/6K1 b - - 0 1"], 0, "normal").score, "1-0")
})

// The engine's own answers, shared with its clock test: the page's copy of
// the formula must give the same.
test("the engine's time for a move, as the page computes it", () => {
    const table = JSON.parse(fs.readFileSync(new URL("../../tests/clock_budget_cases.json", import.meta.url)))
    assert.ok(table.cases.length >= 12)
    for (const [mps, ply, side, used, base, increment, budget] of table.cases) {
        assert.equal(engineBudget(mps, ply, side, used, base, increment), budget, JSON.stringify([mps, ply, side, used]))
    }
})

// quarn's budget for its move under the "level" line equals what the page's clock leaves it, or a little less.
test("the level line before go: quarn plans with its real time, increments too", () => {
    const cases = [
        // remaining ms, moves left in the control (0: the game), turns played since "new", side, quarn's ms used, increment ms
        [4000, 39, 2, "b", 0, 0],
        [300000, 40, 0, "w", 0, 0],
        [120000, 10, 60, "w", 25000, 0],
        [120000, 10, 160, "w", 50000, 0],
        [61500, 3, 200, "b", 300000, 0],
        [0, 12, 9, "b", 0, 0],
        [180000, 0, 0, "w", 0, 2000],
        [1500000, 0, 301, "b", 400000, 5000], // 25 minutes left: past the old 15-minute cap
        [3000, 0, 120, "w", 170000, 2000],      // more increments had than time left: no increment form
        [90000, 0, 41, "b", 0, 2000],           // a fresh engine late in the game
    ]
    for (const [remainingMs, movesLeft, enginePly, side, usedMs, incMs] of cases) {
        const line = planLevel({remainingMs, movesLeft, enginePly, side, usedMs, incMs})
        const [, mps, minutes, seconds, inc] = /^level (\d+) (\d+)(?::(\d\d))? (\d+)$/.exec(line)
        const base = Number(minutes) * 60 + Number(seconds || 0)
        assert.ok(Number(mps) <= 40 && base <= 10800 && Number(inc) <= 60, line)
        const got = engineBudget(Number(mps), enginePly, side, usedMs / 10, base * 100, Number(inc) * 100)
        const want = engineBudget(movesLeft, 0, "w", 0, remainingMs / 10, incMs / 10)
        assert.ok(got <= want + 1e-9 && got >= want * 0.9 - 1, `${line}: ${got} cs for ${want} cs`)
    }
})

// Refusals in plain words: each reason from the position it explains.
test("why a move is refused, and what is wrong with a FEN, in plain words", async () => {
    const {refusalReason, fenWords} = await import("../public/words.js")
    const {fenProblem} = await import("../public/flow.js")
    const START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"
    const moves = [
        ["4k3/8/8/8/8/8/4r3/R3K3 w - - 0 1", "a1a2", "normal", null, "You are in check: your turn must answer it."],
        ["4k3/4r3/8/8/8/8/4B3/4K3 w - - 0 1", "e2d3", "normal", null, "That would leave your king in check."],
        ["4k3/4r3/8/8/8/8/8/3K4 w - - 0 1", "d1e1", "normal", null, "That would leave your king in check."],
        [START, "b1b3", "normal", null, "Your knight on b1 cannot move to b3."],
        [START, "a1", "normal", null, "Your rook on a1 has no legal move now."],
        [START, "e7e5", "normal", null, "Pick up one of your own pieces."],
        ["rnbqkbnr/pppp1ppp/8/4p3/3P4/8/PPP1PPPP/RNBQKBNR b KQkq - 0 1", "a7a5", "marseillais", "f8b4",
            "Your first move gave check, which ends the turn."],
    ]
    for (const [fen, uci, variant, first, want] of moves) assert.equal(refusalReason(fen, uci, variant, first), want, uci)
    const fens = [
        ["hello world", /^That is not a FEN\. A FEN has the pieces, the side to move/],
        ["8/8/8/8/8/8/8/8 w - - 0 1", /^White needs exactly one king; this board has 0\.$/],
        ["4k3/8/8/8/8/8/8/4K3 x - -", /^The side to move must be w or b, not "x"\.$/],
        ["4k3/8/8/8/8/8/8/4K4 w - -", /^Rank 1 \("4K4"\) has 9 squares, not 8\.$/],
        ["4k3/8/8/8/8/8/4K3 w - -", /^The board needs 8 ranks/],
        ["4k3/8/8/8/8/8/8/4K3 w KQkx -", /^Castling must be/],
        ["4k3/8/8/8/8/8/8/4K3 w - e4 0 1", /^The en-passant square must be/],
        ["4k3/8/8/8/8/8/8/4K3 w - -", /^$/], // the two counters may be left out
        ["4k3/8/8/8/8/8/8/4K3 b - - 12 40", /^$/],
    ]
    for (const [fen, want] of fens) assert.match(fenWords(fen), want, fen)
    assert.equal(fenProblem("rm -rf /; 8/8"), "That is not a FEN (letters, digits, '/', '-' and spaces only).")
    assert.match(fenProblem("hello world"), /^That is not a FEN\./) // refused before the page asks to end the game
})
