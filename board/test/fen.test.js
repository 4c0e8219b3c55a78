// The page writes a Marseillais position as a FEN of its own (en passant and
// move counters). "setboard" of that FEN must give the engine the same legal
// turns as the live game reached by the moves.
import {test} from "node:test"
import assert from "node:assert/strict"
import path from "node:path"
import readline from "node:readline"
import {spawn} from "node:child_process"
import {fileURLToPath} from "node:url"
import {afterTurn, START_FEN} from "../public/positions.js"

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "..", "..")
const enginePath = path.resolve(root, process.env.QUARN_ENGINE || "build/quarn")

function startEngine() {
    const child = spawn(enginePath, [], {stdio: ["pipe", "pipe", "ignore"]})
    const lines = readline.createInterface({input: child.stdout})[Symbol.asyncIterator]()
    const send = (...commands) => child.stdin.write(commands.map((c) => c + "\n").join(""))
    // The sorted legal list of the side to move; any error line fails the test.
    const divide = async () => {
        send("divide 1")
        const list = []
        for (let line; !(line = (await lines.next()).value).startsWith("# perft(1) = ");) {
            assert.doesNotMatch(line, /^Error/)
            list.push(...(/^# (\S+?) *: \d+$/.exec(line)?.slice(1) ?? []))
        }
        return list.sort()
    }
    send("xboard", "new", "variant marseillais", "force")
    return {send, divide, quit: () => child.kill()}
}

// Plays `turns` from the start (live) and sets up every page FEN (fresh), comparing the lists.
async function compareAlong(turns, pick) {
    const live = startEngine()
    const fresh = startEngine()
    let fen = START_FEN
    const fens = [fen]
    try {
        for (let i = 0; ; i++) {
            const list = await live.divide()
            fresh.send(`setboard ${fen}`)
            assert.deepEqual(await fresh.divide(), list, `after ${turns.slice(0, i).join(" ")}: ${fen}`)
            const turn = (turns[i] ??= pick?.(list, i, fen))
            if (!turn) return fens
            live.send(turn)
            fens.push((fen = afterTurn(fen, turn, "marseillais")))
        }
    } finally {
        live.quit()
        fresh.quit()
    }
}

const cases = [
    // [what, turns, the page's FEN after them]
    ["a two-square push as the second move, beside an enemy pawn, leaves e.p.",
        ["e2e4", "d7d5,d5d4", "a2a3,c2c4"], "rnbqkbnr/ppp1pppp/8/8/2PpP3/P7/1P1P1PPP/RNBQKBNR b KQkq c3 0 2"],
    ["a two-square push as the first move is gone after the second",
        ["e2e4", "d7d5,d5d4", "c2c4,a2a3"], "rnbqkbnr/ppp1pppp/8/8/2PpP3/P7/1P1P1PPP/RNBQKBNR b KQkq - 0 2"],
    ["two two-square pushes: only the second counts",
        ["e2e4", "d7d5,d5d4", "c2c4,g2g4"], "rnbqkbnr/ppp1pppp/8/8/2PpP1P1/8/PP1P1P1P/RNBQKBNR b KQkq - 0 2"],
    ["e.p. for White, taken as a first move",
        ["e2e4", "a7a6,a6a5", "e4e5,a2a3", "h7h6,d7d5", "e5d6,g1f3"],
        "rnbqkbnr/1pp1ppp1/3P3p/p7/8/P4N2/1PPP1PPP/RNBQKB1R b KQkq - 0 3"],
    ["counters: turns since a capture or pawn move, Black's turns",
        ["g1f3", "g8f6,b8c6", "f3g1,b1c3", "f6g8,c6b8"], "rnbqkbnr/pppppppp/8/8/8/2N5/PPPPPPPP/R1BQKBNR w KQkq - 4 3"],
    ["a check as the first move ends the turn; castling as a second move",
        ["e2e4", "e7e5,g8f6", "f1c4,g1f3", "b8c6,d7d6", "c4f7", "e8e7,c6d4", "f3d4,e1g1"],
        "r1bq1b1r/ppp1kBpp/3p1n2/4p3/3NP3/8/PPPP1PPP/RNBQ1RK1 b - - 0 4"],
]

for (const [what, turns, expected] of cases) test(what, async () => assert.equal((await compareAlong([...turns])).at(-1), expected))

test("random games: every page FEN gives the live game's turns", async () => {
    let seed = 12345
    const random = () => (seed = (seed * 16807) % 2147483647) / 2147483647
    const any = (list) => list[Math.floor(random() * list.length)]
    const twoSquares = (m) => m[0] === m[2] && (m[1] + m[3] === "24" || m[1] + m[3] === "75")
    let captures = 0
    // Turns that leave an e.p. square, and e.p. captures, are preferred.
    const pick = (list, i, fen) => {
        if (!list.length || i >= 100) return null
        const ep = fen.split(" ")[3]
        const takes = list.filter((t) => t.slice(2, 4) === ep && t[0] !== t[2])
        if (takes.length && random() < 0.8) {
            captures++
            return any(takes)
        }
        const pushes = list.filter((t) => twoSquares(t.split(",").pop()))
        for (let k = 0; k < 8 && pushes.length; k++) {
            const t = any(pushes)
            if (afterTurn(fen, t, "marseillais").split(" ")[3] !== "-") return t
        }
        return any(list)
    }
    let epSquares = 0
    for (let game = 0; game < 4; game++) {
        const fens = await compareAlong([], pick)
        epSquares += fens.filter((f) => f.split(" ")[3] !== "-").length
    }
    assert.ok(epSquares >= 5, `only ${epSquares} e.p. squares came up`)
    assert.ok(captures >= 1, "no e.p. capture was played")
})
