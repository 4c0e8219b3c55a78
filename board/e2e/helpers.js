// Shared by the browser tests: the board server against the real engine,
// Debian's chromium driven by puppeteer-core, and a person's clicks.
import fs from "node:fs"
import os from "node:os"
import path from "node:path"
import {fileURLToPath} from "node:url"
import puppeteer from "puppeteer-core"
import {startServer} from "../server.js"

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "..", "..")
const shots = path.join(root, "build", "board-screenshots")
const WAIT_MS = 30000

export async function launch() {
    const board = await startServer({port: 0, enginePath: path.resolve(root, process.env.QUARN_ENGINE || "build/quarn")})
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), "quarn-board-chromium-"))
    const browser = await puppeteer.launch({
        executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
        headless: true,
        args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            `--user-data-dir=${profile}`],
    })
    fs.mkdirSync(shots, {recursive: true})
    return {
        board, browser,
        async close() {
            await browser.close()
            await board.close()
            fs.rmSync(profile, {recursive: true, force: true})
        },
    }
}

// A tab of its own (fresh storage) with the page loaded and the engine ready.
export async function openPage(env) {
    const context = await env.browser.createBrowserContext()
    const page = await context.newPage()
    await page.setViewport({width: 1100, height: 860})
    page.on("pageerror", (err) => console.error("page error:", err.message))
    page.consoleErrors = []
    page.on("console", (m) => m.type() === "error" && page.consoleErrors.push(m.text()))
    await page.goto(env.board.url)
    await phase(page, "human", "engine")
    return page
}

// Polled by time, not by animation frame, which a tab in the background does not get.
const POLL = {timeout: WAIT_MS, polling: 50}

export function phase(page, ...phases) {
    return page.waitForFunction((p) => p.includes(document.body.dataset.phase), POLL, phases)
}

// Chooses settings as a person does; each change starts a new game.
export async function settings(page, {variant, side, level, random}) {
    for (const [id, value] of [["variant", variant], ["side", side], ["level", level]]) {
        if (value && await page.$eval(`#${id}`, (el) => el.value) !== value) {
            await page.select(`#${id}`, value)
            await confirmIfAsked(page)
            await phase(page, "human", "engine")
        }
    }
    if (random !== undefined && await page.$eval("#random", (el) => el.checked) !== random) await page.click("#random")
}

async function center(page, square) {
    const box = await (await page.$(`#board rect[data-square="${square}"]`)).boundingBox()
    return {x: box.x + box.width / 2, y: box.y + box.height / 2}
}

// A click on a square, then a pause, as a hand makes.
export async function clickSquare(page, square) {
    const {x, y} = await center(page, square)
    await page.mouse.click(x, y)
    await new Promise((r) => setTimeout(r, 60))
}

// Click-click: the piece, then its target square.
export async function clickMove(page, from, to) {
    for (const square of [from, to]) await clickSquare(page, square)
}

export async function dragMove(page, from, to) {
    const a = await center(page, from)
    const b = await center(page, to)
    await page.mouse.move(a.x, a.y)
    await page.mouse.down()
    await page.mouse.move((a.x + b.x) / 2, (a.y + b.y) / 2, {steps: 5})
    await page.mouse.move(b.x, b.y, {steps: 5})
    await page.mouse.up()
}

// Waits until the board shows `piece` on `square`: "wn", a colour "b", or null for empty.
export async function expectPiece(page, square, piece) {
    const shown = () => page.evaluate((sq) => document.querySelector(`#board g[data-square="${sq}"][data-piece]`)
        ?.getAttribute("data-piece") ?? null, square)
    const matches = (p) => (piece === null ? p === null : p !== null && p.startsWith(piece))
    const until = Date.now() + 5000
    let p = await shown()
    while (!matches(p) && Date.now() < until) {
        await new Promise((r) => setTimeout(r, 50))
        p = await shown()
    }
    if (!matches(p)) throw new Error(`${square}: the board shows ${p}, not ${piece}`)
}

export const text = (page, selector) => page.$eval(selector, (el) => el.textContent.trim())
export const moveList = (page) => page.$$eval("#moves button[data-index]", (turns) => turns.map((t) => t.textContent))

export async function waitMoves(page, count) {
    await page.waitForFunction((n) => document.querySelectorAll("#moves button[data-index]").length >= n &&
        ["human", "over"].includes(document.body.dataset.phase), POLL, count)
}

export async function setUp(page, fen) {
    await page.evaluate(() => (document.getElementById("setup").open = true))
    await page.$eval("#setup-fen", (el) => (el.value = ""))
    await page.type("#setup-fen", fen)
    await page.click("#setup-go")
    await confirmIfAsked(page)
}

// Answers the page's own dialog (a game with moves ends only when the person says yes).
export async function confirmIfAsked(page, yes = true) {
    if (await page.$eval("#confirm", (d) => d.open)) await page.click(yes ? "#confirm-yes" : "#confirm-no")
}

export async function screenshot(page, name) {
    await new Promise((r) => setTimeout(r, 250)) // let the last animation end
    await page.screenshot({path: path.join(shots, `${name}.png`)})
}
