// The page in Debian's chromium, played with the mouse against the real engine.
// Every test ends with a screenshot in build/board-screenshots/.
import {test, before, after} from "node:test"
import assert from "node:assert/strict"
import http from "node:http"
import {
    launch, openPage, openTab, watched, phase, thinking, settings, clickSquare, clickMove, dragMove, typeMove, expectPiece, text,
    moveList, waitMoves, setUp, screenshot, confirmIfAsked,
} from "./helpers.js"
import {CASES, caseEnv} from "./fair-play.js"
import {ENGINE_REFUSED_FEN} from "../public/words.js"

let env
before(async () => {
    env = await launch()
})
after(() => env.close())

// Runs one test in a tab of its own and photographs the tab at the end.
function browserTest(name, body) {
    test(name, async () => {
        // the tabs of the last test have closed their sockets, so every engine is free
        for (let i = 0; i < 100 && env.board.sessions.size; i++) await new Promise((r) => setTimeout(r, 50))
        const page = await openPage(env)
        await watched(page, name, () => body(page)).finally(() => page.browserContext().close())
    })
}

const SAN = "(?:O-O(?:-O)?|[KQRBN]?[a-h]?[1-8]?x?[a-h][1-8](?:=[QRBN])?)[+#]?"
const MOVE = new RegExp(`^${SAN}$`)
const TURN = new RegExp(`^${SAN}(?:,${SAN})?$`)
const PAIR = new RegExp(`^${SAN},${SAN}$`)

// Waits until the board shows the pieces of `fen`, each on its square.
async function expectBoard(page, fen) {
    const want = fen.split(" ")[0].split("/").flatMap((row, r) => [...row.replace(/\d/g, (n) => ".".repeat(n))]
        .map((c, f) => (c === "." ? "" : "abcdefgh"[f] + (8 - r) + (c < "a" ? "w" : "b") + c.toLowerCase()))).filter(Boolean)
    await page.waitForFunction((w) => [...document.querySelectorAll("#board g[data-square][data-piece]")]
        .map((p) => p.dataset.square + p.dataset.piece).sort().join() === w.sort().join(), {timeout: 5000, polling: 50}, want)
}

// The board shows the mover's piece on the target square of a turn's last move (castling aside;
// the first move's piece may have moved on).
async function assertTurnShown(page, turn, color) {
    const target = turn.split(",").at(-1).match(/[a-h][1-8]/g)
    if (target) await expectPiece(page, target.at(-1), color)
}

browserTest("normal game: first moves, the engine's answers, take back; ending it asks first in the page", async (page) => {
    assert.equal(await text(page, "#engine-kind"), "quarn on this machine")
    await settings(page, {variant: "normal", level: "quick", random: true})
    await clickMove(page, "e2", "e4")
    await waitMoves(page, 2)
    await clickSquare(page, "d2") // the last move stays marked while a piece is held
    assert.equal(await page.$$eval("#board .marker-last-move", (marks) => marks.length), 2)
    await clickSquare(page, "d2")
    await dragMove(page, "d2", "d4")
    await waitMoves(page, 4)
    const moves = await moveList(page)
    assert.deepEqual([moves[0], moves[2]], ["e4", "d4"])
    for (const i of [1, 3]) assert.match(moves[i], MOVE)
    await expectPiece(page, "e4", "wp")
    await expectPiece(page, "d4", "wp")
    await assertTurnShown(page, moves[3], "b")
    assert.match(await text(page, "#fen"), / w \S+ - \d+ 3$/)
    await page.click("#take-back")
    await page.waitForFunction(() => document.querySelectorAll("#moves button[data-index]").length === 2)
    await expectPiece(page, "d2", "wp")
    await expectPiece(page, "d4", null)

    await page.click("#new-game")
    assert.equal(await text(page, "#confirm-text"), "Start a new game? The game in progress ends.")
    await screenshot(page, "confirm-new-game")
    await confirmIfAsked(page, false)
    await page.select("#variant", "marseillais")
    await confirmIfAsked(page, false)
    await page.waitForFunction(() => document.getElementById("variant").value === "normal", {timeout: 5000})
    assert.equal((await moveList(page)).length, 2)
    await page.click("#resign")
    await confirmIfAsked(page, true)
    await phase(page, "over")
    assert.equal(await text(page, "#banner"), "White resigned: Black wins (0-1)")
    assert.equal(await page.$eval("#banner", (el) => el.dataset.tone), "loss")
    assert.deepEqual(page.consoleErrors, []) // no error, no breach of the page's policy
})

browserTest("a page of another local site that frames the board gets no board and no engine", async (page) => {
    assert.match(page.response.headers()["content-security-policy"], /frame-ancestors 'none'/)
    assert.equal(page.response.headers()["x-frame-options"], "DENY")
    // Another site on this machine (another port: another origin) that frames the board four times.
    const framing = http.createServer((req, res) => res.writeHead(200, {"content-type": "text/html"})
        .end(`<!doctype html>${`<iframe src="${env.board.url}"></iframe>`.repeat(4)}`))
    await new Promise((resolve) => framing.listen(0, "127.0.0.1", resolve))
    const engines = env.board.sessions.size
    const other = await page.browserContext().newPage()
    await other.goto(`http://127.0.0.1:${framing.address().port}/`)
    await new Promise((r) => setTimeout(r, 3000))
    assert.equal(env.board.sessions.size, engines, "a framed board took an engine")
    for (const frame of other.frames().slice(1)) {
        assert.equal(await frame.$("#board").catch(() => null), null, "a frame shows the board")
    }
    await screenshot(other, "framed-board")
    framing.close()
})

// Take back or set up while quarn thinks ends that engine; the fresh one
// checks the FEN after the same opening as every engine.
browserTest("while quarn thinks: take back; set up a refused FEN (the game goes on), then a good one", async (page) => {
    await settings(page, {variant: "normal", level: "m15", random: false}) // a long think: 20 s for the first move
    const pid = await page.evaluate(() => document.body.dataset.enginePid)
    await clickMove(page, "e2", "e4")
    await thinking(page)
    await page.click("#take-back")
    await phase(page, "human")
    assert.notEqual(await page.evaluate(() => document.body.dataset.enginePid), pid)
    assert.deepEqual(await moveList(page), [])
    await expectPiece(page, "e2", "wp")
    assert.equal(await text(page, "#clock-bottom .time"), "15:00")
    assert.equal(await text(page, "#clock-top .time"), "15:00")

    await clickMove(page, "e2", "e4")
    await thinking(page)
    await setUp(page, "4k3/4R3/8/8/8/8/8/4K3 w - - 0 1", true) // Black's king in check with White to move
    assert.equal(await text(page, "#setup-error"), ENGINE_REFUSED_FEN)
    await phase(page, "engine") // the old game goes on: quarn thinks about its answer again
    assert.deepEqual(await moveList(page), ["e4"])
    await thinking(page)
    await setUp(page, "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1")
    assert.deepEqual(await moveList(page), [])
    assert.equal(await text(page, "#setup-error"), "")
})

browserTest("Marseillais: promotion with the piece chosen", async (page) => {
    await settings(page, {variant: "marseillais", level: "quick", random: true})
    await setUp(page, "4k3/1P6/8/8/8/8/8/4K3 w - - 0 1")
    await clickMove(page, "b7", "b8")
    await page.waitForSelector(".promotion-dialog-group [data-piece='wn']", {visible: true})
    const dialog = await (await page.$(".promotion-dialog-group rect.promotion-dialog")).boundingBox()
    const b8 = await (await page.$("#board rect[data-square='b8']")).boundingBox()
    assert.ok(Math.abs(dialog.x - b8.x) < 1 && Math.abs(dialog.y - b8.y) < 1, "the dialog stands over b8")
    await screenshot(page, "promotion-dialog")
    await page.click(".promotion-dialog-group [data-piece='wn']")
    await phase(page, "second") // a knight on b8 gives no check: the turn goes on
    await expectPiece(page, "b8", "wn")
    await clickMove(page, "e1", "e2")
    await waitMoves(page, 2)
    assert.equal((await moveList(page))[0], "b8=N,Ke2")
})

browserTest("Marseillais: a check ends a turn; a set-up position ends in mate", async (page) => {
    await settings(page, {variant: "marseillais", level: "quick", random: true})
    await setUp(page, "4k3/8/8/8/8/8/8/R3K3 w Q - 0 1")
    await clickMove(page, "a1", "a8")
    await waitMoves(page, 2)
    const moves = await moveList(page)
    assert.equal(moves[0], "Ra8+")
    assert.match(moves[1], TURN)

    await setUp(page, "7k/6pp/8/8/8/8/5PPP/R5K1 w - - 0 1")
    await clickMove(page, "a1", "a7")
    await phase(page, "second")
    await clickMove(page, "a7", "a8")
    await phase(page, "over")
    assert.equal(await text(page, "#banner"), "Checkmate: White wins (1-0)")
    assert.deepEqual(await moveList(page), ["Ra7,Ra8#"])
})

browserTest("a fifth tab is told that no engine is free", async (page) => {
    const others = []
    for (let i = 0; i < 3; i++) others.push(await openPage(env))
    const fifth = await openTab(await env.browser.createBrowserContext(), env.board.url, false)
    await phase(fifth, "busy")
    assert.match(await text(fifth, "#banner"), /Other tabs of this board hold all 4 engines\. Closing one of those tabs frees its engine/)
    await screenshot(fifth, "busy-tab")
    await fifth.browserContext().close()
    // analysis needs an engine of its own: at the cap it says so, and the game goes on
    await page.click("#analyse")
    await page.waitForFunction(() => /hold all 4 engines/.test(document.getElementById("analysis-line").textContent),
        {timeout: 30000, polling: 50})
    assert.equal(await page.evaluate(() => document.body.dataset.phase), "human")
    for (const p of others) await p.browserContext().close()
})

browserTest("an engine killed while thinking, or hung while idle, is replaced without losing a move", async (page) => {
    await settings(page, {variant: "normal", level: "m15", random: false})
    await clickMove(page, "e2", "e4")
    await thinking(page)
    const killed = await page.evaluate(() => document.body.dataset.enginePid)
    process.kill(Number(killed), "SIGKILL")
    await page.waitForFunction((pid) => document.body.dataset.enginePid !== pid, {}, killed)
    await phase(page, "engine") // the fresh engine has the move and thinks again
    assert.deepEqual(await moveList(page), ["e4"])
    assert.match(await text(page, "#engine-state"), /quarn stopped \(killed by SIGKILL\)/)

    await settings(page, {level: "quick", random: true})
    // The level changed while quarn thought: a fresh engine starts the new game, the person to move.
    await page.waitForFunction(() => document.body.dataset.phase === "human" &&
        !document.querySelector("#moves button[data-index]"), {timeout: 30000, polling: 50})
    const hung = await page.evaluate(() => document.body.dataset.enginePid)
    process.kill(Number(hung), "SIGSTOP") // the server's SIGKILL ends it all the same
    await clickMove(page, "d2", "d4")
    await page.waitForFunction((pid) => document.body.dataset.enginePid !== pid, {timeout: 30000}, hung)
    await waitMoves(page, 2)
    assert.equal((await moveList(page))[0], "d4")
    assert.match(await text(page, "#engine-state"), /did not answer within 10 s/)
})

browserTest("two tabs keep their own games; a new tab resumes the one no tab plays", async (page) => {
    await settings(page, {variant: "normal", level: "quick", random: true})
    await clickMove(page, "e2", "e4")
    await waitMoves(page, 2)
    const open = () => openTab(page.browserContext(), env.board.url)
    const second = await open()
    assert.deepEqual(await moveList(second), []) // the first tab's game is in play there
    await settings(second, {random: true})
    await clickMove(second, "d2", "d4")
    await waitMoves(second, 2)
    for (const [tab, first] of [[page, "e4"], [second, "d4"]]) {
        await tab.bringToFront()
        await tab.reload()
        await phase(tab, "human")
        assert.equal((await moveList(tab))[0], first)
    }
    await second.close()
    await new Promise((r) => setTimeout(r, 300)) // the closed tab's lock is let go
    const third = await open()
    assert.equal((await moveList(third))[0], "d4")
    await third.close()
})

browserTest("Marseillais SAN list: single first turn, a refused second move; a click shows a turn's position", async (page) => {
    await settings(page, {variant: "marseillais", level: "quick", random: true})
    await clickMove(page, "e2", "e4")
    await waitMoves(page, 2)
    assert.match((await moveList(page))[1], PAIR)
    await assertTurnShown(page, (await moveList(page))[1], "b")
    // Black's first random turn can neither reach b3, c3 or d3 nor check White in two moves.
    await clickMove(page, "b2", "b3")
    await phase(page, "second")
    await expectPiece(page, "b3", "wp")
    await clickMove(page, "b3", "d3") // no legal turn goes on like this
    assert.equal(await page.evaluate(() => document.body.dataset.phase), "second")
    await expectPiece(page, "d3", null)
    await expectPiece(page, "b3", "wp")
    await typeMove(page, "Nc3")
    await waitMoves(page, 4)
    const moves = await moveList(page)
    assert.deepEqual([moves[0], moves[2]], ["e4", "b3,Nc3"])
    assert.match(moves[3], TURN)
    await assertTurnShown(page, moves[3], "b")
    const gameFen = await text(page, "#fen")
    await page.click("#moves button[data-index='0']")
    assert.equal(await text(page, "#fen"), "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1")
    assert.match(await text(page, "#status"), /^Viewing the position after White's e4/)
    await expectPiece(page, "d2", "wp")
    await clickMove(page, "g1", "f3") // no move while viewing
    await expectPiece(page, "g1", "wn")
    await page.click("#back-to-game")
    assert.equal(await text(page, "#fen"), gameFen)
    await expectBoard(page, gameFen)
    await typeMove(page, "a9")
    assert.equal(await text(page, "#move-error"), 'No legal turn matches "a9".')
})

// The clock at the flag, review, the phone layout, a hidden tab, import and share (as on the static site).
for (const [name, body] of CASES) browserTest(name, (page) => body(page, caseEnv(page, env.board.url, () => env.board.sessions.size)))
