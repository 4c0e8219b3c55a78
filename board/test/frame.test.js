// The served page under its security headers, in Debian's chromium: another
// local site cannot frame the board (so it cannot take its engines), and the
// page itself loads without a policy violation and plays. A screenshot goes
// to build/board-screenshots/.
import {test, before, after} from "node:test"
import assert from "node:assert/strict"
import fs from "node:fs"
import http from "node:http"
import os from "node:os"
import path from "node:path"
import {fileURLToPath} from "node:url"
import {launchBrowser, screenshot} from "../e2e/helpers.js"

const board = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "..")
const root = path.dirname(board)
const {startServer} = await import(path.resolve(board, process.env.BOARD_SERVER || "server.js"))
const sleep = (ms) => new Promise((r) => setTimeout(r, ms))
let env

before(async () => {
    const server = await startServer({port: 0, enginePath: path.resolve(root, process.env.QUARN_ENGINE || "build/quarn")})
    // Another site on this machine (another port: another origin) that frames the board four times.
    const framing = http.createServer((req, res) => res.writeHead(200, {"content-type": "text/html"})
        .end(`<!doctype html>${`<iframe src="${server.url}"></iframe>`.repeat(4)}`))
    await new Promise((resolve) => framing.listen(0, "127.0.0.1", resolve))
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), "quarn-board-frame-"))
    const browser = await launchBrowser(profile)
    env = {server, framing, framingUrl: `http://127.0.0.1:${framing.address().port}/`, browser, profile}
})
after(async () => {
    await env.browser.close()
    await env.server.close()
    env.framing.close()
    fs.rmSync(env.profile, {recursive: true, force: true})
})

test("a page of another local site that frames the board gets no board and no engine", async () => {
    const page = await env.browser.newPage()
    await page.goto(env.framingUrl)
    await sleep(3000)
    assert.equal(env.server.sessions.size, 0, "a framed board took an engine")
    for (const frame of page.frames().slice(1)) {
        assert.equal(await frame.$("#board").catch(() => null), null, "a frame shows the board")
    }
    await page.close()
})

test("the page under its policy loads without a violation and plays a move", async () => {
    const page = await env.browser.newPage()
    await page.setViewport({width: 1100, height: 860})
    const problems = []
    page.on("console", (m) => m.type() === "error" && problems.push(m.text()))
    page.on("pageerror", (err) => problems.push(err.message))
    await page.evaluateOnNewDocument(() => document.addEventListener("securitypolicyviolation",
        (e) => console.error(`policy violation: ${e.violatedDirective} ${e.blockedURI}`)))
    const response = await page.goto(env.server.url)
    assert.match(response.headers()["content-security-policy"], /frame-ancestors 'none'/)
    assert.equal(response.headers()["x-frame-options"], "DENY")
    const pieceOn = (square) => page.$eval(`#board g[data-square="${square}"][data-piece]`, (g) => g.dataset.piece).catch(() => null)
    // A person's move, once the page takes it (clicks before the engine is ready are not taken).
    for (let i = 0; i < 60 && await pieceOn("e4") === null; i++) {
        for (const square of ["e2", "e4"]) {
            const box = await (await page.waitForSelector(`#board rect[data-square="${square}"]`)).boundingBox()
            await page.mouse.click(box.x + box.width / 2, box.y + box.height / 2)
            await sleep(60)
        }
        await sleep(500)
    }
    assert.match(await pieceOn("e4") ?? "", /^wp/)
    // The engine's answer: a black piece leaves its first two ranks.
    await page.waitForFunction(() => [...document.querySelectorAll("#board g[data-square][data-piece^='b']")]
        .some((g) => /[3-6]$/.test(g.dataset.square)), {timeout: 30000, polling: 100})
    await screenshot(page, "page-under-its-policy")
    assert.deepEqual(problems, [])
    await page.close()
})
