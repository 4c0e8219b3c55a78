// The static site (./board.sh --static) in Debian's chromium: quarn runs in
// the browser, the files come from a plain file server on a sub-path, and no
// board server runs. QUARN_SITE names the site's folder; without it the test
// writes one from build-wasm/web. Screenshots go to build/board-screenshots/.
import {test, before, after} from "node:test"
import assert from "node:assert/strict"
import {execFileSync} from "node:child_process"
import fs from "node:fs"
import http from "node:http"
import os from "node:os"
import path from "node:path"
import {fileURLToPath} from "node:url"
import {
    launchBrowser, openTab, watched, phase, thinking, settings, clickSquare, clickMove, expectPiece, text, moveList, waitMoves,
    screenshot, confirmIfAsked,
} from "./helpers.js"
import {CASES, caseEnv} from "./fair-play.js"

const board = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "..")
const SUB_PATH = "/games/quarn/board/"
const TYPES = {".html": "text/html", ".js": "text/javascript", ".css": "text/css", ".svg": "image/svg+xml",
    ".wasm": "application/wasm"}
const temp = fs.mkdtempSync(path.join(os.tmpdir(), "quarn-static-"))
let site = process.env.QUARN_SITE
let browser

// A plain file server for the site under SUB_PATH; stop() ends it and every connection.
function serve() {
    const server = http.createServer((req, res) => {
        const url = decodeURIComponent(new URL(req.url, "http://x").pathname)
        const file = path.join(site, (url.endsWith("/") ? url + "index.html" : url).slice(SUB_PATH.length))
        const found = url.startsWith(SUB_PATH) && file.startsWith(site + path.sep) && fs.existsSync(file)
        res.writeHead(found ? 200 : 404, {"content-type": TYPES[path.extname(file)] ?? "application/octet-stream"})
        res.end(found ? fs.readFileSync(file) : undefined)
    })
    const stop = () => new Promise((done) => {
        server.closeAllConnections()
        server.close(done)
    })
    return new Promise((resolve) => server.listen(0, "127.0.0.1",
        () => resolve({url: `http://127.0.0.1:${server.address().port}${SUB_PATH}`, stop})))
}

before(async () => {
    if (!site) {
        site = path.join(temp, "site")
        execFileSync("node", [path.join(board, "static", "write_site.mjs"), site], {stdio: "inherit"})
    }
    site = path.resolve(site)
    browser = await launchBrowser(path.join(temp, "profile"))
})
after(async () => {
    await browser?.close()
    fs.rmSync(temp, {recursive: true, force: true})
})

// Runs one test in a fresh browser context with its own file server, the
// page loaded and quarn started; photographs the tab at the end.
function siteTest(name, body) {
    test(name, async () => {
        const server = await serve()
        const page = await openTab(await browser.createBrowserContext(), server.url)
        try {
            await watched(page, "static-" + name, async () => {
                assert.equal(await text(page, "#engine-kind"), "quarn in this browser")
                await body(page, server)
            })
        } finally {
            await page.browserContext().close()
            await server.stop()
        }
    })
}

// Plays one legal move of `color` as a person finds it: picks up each of its
// pieces in turn until the board marks targets, then clicks the first target
// (a pawn's step to the last rank is left alone); by taps if `touch`.
async function anyMove(page, color, touch) {
    const tap = (square) => clickSquare(page, square, touch)
    const squares = await page.$$eval(`#board g[data-square][data-piece^="${color}"]`,
        (pieces) => pieces.map((p) => [p.dataset.square, p.dataset.piece]))
    for (const [square, piece] of squares) {
        await tap(square)
        const targets = await page.$$eval("#board .markers g[data-square]", (marks) => marks
            .filter((m) => m.querySelector(".marker-dot, .marker-bevel")).map((m) => m.dataset.square))
        const to = targets.find((t) => !(piece.endsWith("p") && /[18]/.test(t[1])))
        if (to) return tap(to)
        await tap(square) // puts it down again
    }
    throw new Error(`no legal move for ${color} found on the board`)
}

// One whole turn of White's: one move, or two when the first leaves a second to play.
async function whiteTurn(page, touch = false) {
    const count = (await moveList(page)).length
    await anyMove(page, "w", touch)
    await page.waitForFunction((n) => document.body.dataset.phase === "second" ||
        document.querySelectorAll("#moves button[data-index]").length > n, {}, count)
    if (await page.evaluate(() => document.body.dataset.phase) === "second") await anyMove(page, "w", touch)
}

siteTest("a Marseillais game by clicks against quarn, to the end", async (page) => {
    await settings(page, {variant: "marseillais", side: "w", level: "quick", random: false})
    await page.click("#show-thinking")
    for (let turn = 1; turn <= 30; turn++) {
        await whiteTurn(page)
        await waitMoves(page, 2 * turn)
        if (await page.evaluate(() => document.body.dataset.phase) === "over") break
        const moves = await moveList(page)
        assert.match(moves.at(-1), /,|[+#]$/, `quarn's turn ${moves.at(-1)} is two moves or a check`)
        assert.notEqual(await text(page, "#thinking"), "")
        if (turn === 3) await screenshot(page, "static-game-turn-3")
    }
    if (await page.evaluate(() => document.body.dataset.phase) !== "over") {
        await page.click("#resign")
        await confirmIfAsked(page)
        await phase(page, "over")
    }
    assert.match(await text(page, "#banner"), /\((?:1-0|0-1|1\/2-1\/2)\)$/)
})

siteTest("New game while quarn thinks starts a fresh engine at once", async (page) => {
    await settings(page, {variant: "normal", level: "m15", random: false}) // 20 s for quarn's first move
    await clickMove(page, "e2", "e4")
    await phase(page, "engine")
    await thinking(page)
    await page.click("#new-game")
    await confirmIfAsked(page)
    await phase(page, "human")
    assert.deepEqual(await moveList(page), [])
    await expectPiece(page, "e2", "wp")
    await settings(page, {level: "quick"})
    await clickMove(page, "d2", "d4")
    await waitMoves(page, 2)
})

siteTest("a reload resumes the game; after the first visit the site plays with its file server gone", async (page, server) => {
    await settings(page, {variant: "marseillais", level: "quick", random: true})
    await clickMove(page, "g2", "g3")
    await waitMoves(page, 2)
    const moves = await moveList(page)
    const fen = await text(page, "#fen")
    await page.evaluate(() => navigator.serviceWorker.ready)
    for (const cut of [false, true]) { // the first reload puts the page under the service worker
        if (cut) await server.stop()
        await page.reload()
        await phase(page, "human")
        assert.deepEqual(await moveList(page), moves)
        assert.equal(await text(page, "#fen"), fen)
        assert.equal(await page.$eval("#variant", (el) => el.value), "marseillais")
    }
    assert.ok(await page.evaluate(() => navigator.serviceWorker.controller !== null))
    await whiteTurn(page)
    await waitMoves(page, 4)
})

// The clock at the flag, review, the phone layout, a hidden tab (as on the served board).
for (const [name, body] of CASES) siteTest(name, (page, server) => body(page, caseEnv(page, server.url, () => null)))
