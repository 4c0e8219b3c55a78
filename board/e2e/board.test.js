// The page in Debian's chromium, played with the mouse against the real engine.
// Every test ends with a screenshot in build/board-screenshots/.
import {test, before, after} from "node:test"
import assert from "node:assert/strict"
import {
    launch, openPage, phase, settings, clickMove, dragMove, expectPiece, text, moveList, waitMoves, setUp, screenshot,
} from "./helpers.js"

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
        try {
            await body(page)
        } catch (err) {
            const state = await page.evaluate(() => [document.body.dataset.phase, ...["status", "engine-state", "moves", "fen"]
                .map((id) => document.getElementById(id).textContent)].join(" | "))
            err.message += `\npage: ${state}`
            throw err
        } finally {
            await screenshot(page, name.replace(/[^a-z0-9]+/gi, "-").toLowerCase())
            await page.browserContext().close()
        }
    })
}

const SAN = "(?:O-O(?:-O)?|[KQRBN]?[a-h]?[1-8]?x?[a-h][1-8](?:=[QRBN])?)[+#]?"
const MOVE = new RegExp(`^${SAN}$`)
const TURN = new RegExp(`^${SAN}(?:,${SAN})?$`)
const PAIR = new RegExp(`^${SAN},${SAN}$`)

// The board shows the mover's piece on the target square of every move of a turn (castling aside).
async function assertTurnShown(page, turn, color) {
    for (const move of turn.split(",")) {
        const target = move.match(/[a-h][1-8]/g)
        if (target) await expectPiece(page, target.at(-1), color)
    }
}

browserTest("normal game: first moves and the engine's answers", async (page) => {
    await settings(page, {variant: "normal", level: "quick", random: true})
    await clickMove(page, "e2", "e4")
    await waitMoves(page, 2)
    await dragMove(page, "d2", "d4")
    await waitMoves(page, 4)
    const moves = await moveList(page)
    assert.deepEqual([moves[0], moves[2]], ["e4", "d4"])
    for (const i of [1, 3]) assert.match(moves[i], MOVE)
    await expectPiece(page, "e4", "wp")
    await expectPiece(page, "d4", "wp")
    await assertTurnShown(page, moves[3], "b")
    assert.match(await text(page, "#fen"), / w \S+ - \d+ 3$/)
})

browserTest("Marseillais: single first turn, two-move turns, a refused second move", async (page) => {
    await settings(page, {variant: "marseillais", level: "quick", random: true})
    await clickMove(page, "a2", "a3")
    await waitMoves(page, 2)
    let moves = await moveList(page)
    assert.equal(moves[0], "a3")
    assert.match(moves[1], PAIR)
    await assertTurnShown(page, moves[1], "b")

    await clickMove(page, "b2", "b3")
    await phase(page, "second")
    await expectPiece(page, "b3", "wp")
    // No legal turn goes on like this; d3 is a square no Black turn can reach, so it stays empty.
    await clickMove(page, "b3", "d3")
    assert.equal(await page.evaluate(() => document.body.dataset.phase), "second")
    await expectPiece(page, "d3", null)
    await expectPiece(page, "b3", "wp")
    await clickMove(page, "c2", "c3")
    await waitMoves(page, 4)
    moves = await moveList(page)
    assert.equal(moves[2], "b3,c3")
    assert.match(moves[3], TURN)
    await assertTurnShown(page, moves[3], "b")
})

browserTest("Marseillais: a first move that gives check ends the turn", async (page) => {
    await settings(page, {variant: "marseillais", level: "quick", random: true})
    await setUp(page, "4k3/8/8/8/8/8/8/R3K3 w Q - 0 1")
    await page.waitForFunction(() => document.getElementById("fen").textContent.startsWith("4k3/8/8/8/8/8/8/R3K3 w"))
    await phase(page, "human")
    await clickMove(page, "a1", "a8")
    await waitMoves(page, 2)
    const moves = await moveList(page)
    assert.equal(moves[0], "Ra8+")
    assert.match(moves[1], TURN)
})

browserTest("Marseillais: promotion with the piece chosen", async (page) => {
    await settings(page, {variant: "marseillais", level: "quick", random: true})
    await setUp(page, "4k3/1P6/8/8/8/8/8/4K3 w - - 0 1")
    await page.waitForFunction(() => document.getElementById("fen").textContent.startsWith("4k3/1P6"))
    await phase(page, "human")
    await clickMove(page, "b7", "b8")
    await page.waitForSelector(".promotion-dialog-group [data-piece='wn']", {visible: true})
    await screenshot(page, "promotion-dialog")
    await page.click(".promotion-dialog-group [data-piece='wn']")
    await phase(page, "second") // a knight on b8 gives no check: the turn goes on
    await expectPiece(page, "b8", "wn")
    await clickMove(page, "e1", "e2")
    await waitMoves(page, 2)
    assert.equal((await moveList(page))[0], "b8=N,Ke2")
})

browserTest("Marseillais: a refused FEN keeps the game; a set-up position ends in mate", async (page) => {
    await settings(page, {variant: "marseillais", level: "quick", random: true})
    await clickMove(page, "e2", "e4")
    await waitMoves(page, 2)
    const before = await moveList(page)
    await setUp(page, "8/8/8/8/8/8/8/8 w - - 0 1")
    await page.waitForFunction(() => document.getElementById("setup-error").textContent !== "")
    assert.equal(await text(page, "#setup-error"), "Error (illegal FEN): setboard 8/8/8/8/8/8/8/8 w - - 0 1")
    await phase(page, "human")
    assert.deepEqual(await moveList(page), before)

    await setUp(page, "7k/6pp/8/8/8/8/5PPP/R5K1 w - - 0 1")
    await page.waitForFunction(() => document.getElementById("fen").textContent.startsWith("7k/"))
    await phase(page, "human")
    await clickMove(page, "a1", "a7")
    await phase(page, "second")
    await clickMove(page, "a7", "a8")
    await phase(page, "over")
    assert.equal(await text(page, "#banner"), "Checkmate: White wins (1-0)")
    assert.deepEqual(await moveList(page), ["Ra7,Ra8#"])
})

browserTest("take back: after the engine's answer, and while it thinks", async (page) => {
    await settings(page, {variant: "normal", level: "quick", random: true})
    await clickMove(page, "e2", "e4")
    await waitMoves(page, 2)
    await page.click("#take-back")
    await page.waitForFunction(() => document.querySelectorAll("#moves button[data-index]").length === 0)
    await phase(page, "human")
    await expectPiece(page, "e2", "wp")
    await expectPiece(page, "e4", null)

    await settings(page, {level: "m15", random: false}) // a long think: 20 s for the first move
    const pid = await page.evaluate(() => document.body.dataset.enginePid)
    await clickMove(page, "e2", "e4")
    await phase(page, "engine")
    await page.waitForFunction(() => document.getElementById("thinking").textContent !== "")
    await page.click("#take-back")
    await phase(page, "human")
    assert.notEqual(await page.evaluate(() => document.body.dataset.enginePid), pid)
    assert.deepEqual(await moveList(page), [])
    await expectPiece(page, "e2", "wp")
    assert.equal(await text(page, "#clock-bottom .time"), "15:00")
    assert.equal(await text(page, "#clock-top .time"), "15:00")
})

browserTest("a reload resumes the game from the browser's storage", async (page) => {
    await settings(page, {variant: "marseillais", level: "quick", random: true})
    await clickMove(page, "g2", "g3")
    await waitMoves(page, 2)
    const moves = await moveList(page)
    const fen = await text(page, "#fen")
    await page.reload()
    await phase(page, "human")
    assert.deepEqual(await moveList(page), moves)
    assert.equal(await text(page, "#fen"), fen)
    assert.equal(await page.$eval("#variant", (el) => el.value), "marseillais")
    await clickMove(page, "h2", "h3")
    await phase(page, "second")
    await clickMove(page, "f1", "g2")
    await waitMoves(page, 4)
    assert.equal((await moveList(page))[2], "h3,Bg2")
})

browserTest("a fifth tab is told that no engine is free", async (page) => {
    const others = []
    for (let i = 0; i < 3; i++) others.push(await openPage(env))
    const fifth = await (await env.browser.createBrowserContext()).newPage()
    await fifth.setViewport({width: 1100, height: 860})
    await fifth.goto(env.board.url)
    await phase(fifth, "busy")
    assert.match(await text(fifth, "#banner"), /All 4 engines are busy/)
    await screenshot(fifth, "busy-tab")
    for (const p of [...others, fifth]) await p.browserContext().close()
})

browserTest("an engine killed while thinking, or hung while idle, is replaced without losing a move", async (page) => {
    await settings(page, {variant: "normal", level: "m15", random: false})
    await clickMove(page, "e2", "e4")
    await page.waitForFunction(() => document.getElementById("thinking").textContent !== "")
    const killed = await page.evaluate(() => document.body.dataset.enginePid)
    process.kill(Number(killed), "SIGKILL")
    await page.waitForFunction((pid) => document.body.dataset.enginePid !== pid, {}, killed)
    await phase(page, "engine") // the fresh engine has the move and thinks again
    assert.deepEqual(await moveList(page), ["e4"])
    assert.match(await text(page, "#engine-state"), /quarn stopped \(killed by SIGKILL\)/)

    await settings(page, {level: "quick", random: true})
    const hung = await page.evaluate(() => document.body.dataset.enginePid)
    process.kill(Number(hung), "SIGSTOP") // the server's SIGKILL ends it all the same
    await clickMove(page, "d2", "d4")
    await page.waitForFunction((pid) => document.body.dataset.enginePid !== pid, {timeout: 30000}, hung)
    await waitMoves(page, 2)
    assert.equal((await moveList(page))[0], "d4")
    assert.match(await text(page, "#engine-state"), /did not answer within 10 s/)
})
