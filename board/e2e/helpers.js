// Shared by the browser tests: Debian's chromium driven by puppeteer-core, the
// board server against the real engine, and a person's clicks.
import assert from "node:assert/strict"
import fs from "node:fs"
import os from "node:os"
import path from "node:path"
import {fileURLToPath} from "node:url"
import puppeteer from "puppeteer-core"
import {startServer} from "../server.js"

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "..", "..")
const shots = path.join(root, "build", "board-screenshots")
// Polled by time, not by animation frame, which a tab in the background does not get.
const POLL = {timeout: 30000, polling: 50}
const pause = (ms) => new Promise((r) => setTimeout(r, ms))

// Chromium with its profile in `profile`.
export function launchBrowser(profile) {
    fs.mkdirSync(shots, {recursive: true})
    return puppeteer.launch({
        executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
        headless: true,
        args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            `--user-data-dir=${profile}`],
    })
}

// The board server and a browser.
export async function launch() {
    const board = await startServer({port: 0, enginePath: path.resolve(root, process.env.QUARN_ENGINE || "build/quarn")})
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), "quarn-board-chromium-"))
    const browser = await launchBrowser(profile)
    return {
        board, browser,
        async close() {
            await browser.close()
            await board.close()
            fs.rmSync(profile, {recursive: true, force: true})
        },
    }
}

// A tab of `context` with the page at `url` loaded and, if `ready`, the engine ready.
export async function openTab(context, url, ready = true) {
    const page = await context.newPage()
    await page.setViewport({width: 1100, height: 860})
    page.on("pageerror", (err) => console.error("page error:", err.message))
    page.consoleErrors = [] // a breach of the page's content security policy is one too
    page.on("console", (m) => m.type() === "error" && page.consoleErrors.push(m.text()))
    await page.evaluateOnNewDocument(() => document.addEventListener("securitypolicyviolation",
        (e) => console.error(`policy violation: ${e.violatedDirective} ${e.blockedURI}`)))
    page.response = await page.goto(url)
    if (ready) await phase(page, "human", "engine")
    return page
}

// A tab of its own (fresh storage) on the board server.
export const openPage = async (env) => openTab(await env.browser.createBrowserContext(), env.board.url)

// Runs `body`; a failure tells the page's state; the tab is photographed at the end.
export async function watched(page, name, body) {
    try {
        await body()
    } catch (err) {
        err.message += `\npage: ${await page.evaluate(() => [document.body.dataset.phase, ...["status", "engine-state",
            "moves", "fen"].map((id) => document.getElementById(id).textContent)].join(" | ")).catch(() => "gone")}`
        throw err
    } finally {
        await screenshot(page, name.replace(/[^a-z0-9]+/gi, "-").toLowerCase()).catch(() => {})
    }
}

export function phase(page, ...phases) {
    return page.waitForFunction((p) => p.includes(document.body.dataset.phase), POLL, phases)
}

// Turns the thinking line on and waits for a line.
export async function thinking(page) {
    await page.$eval("#show-thinking", (box) => box.checked || box.click())
    await page.waitForFunction(() => document.getElementById("thinking").textContent !== "", POLL)
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

// A click (or a tap) on a square, then a pause, as a hand makes.
export async function clickSquare(page, square, touch = false) {
    const {x, y} = await center(page, square)
    await (touch ? page.touchscreen.tap(x, y) : page.mouse.click(x, y))
    await pause(60)
}

// Click-click (or tap-tap): the piece, then its target square.
export async function clickMove(page, from, to, touch = false) {
    for (const square of [from, to]) await clickSquare(page, square, touch)
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

// A move typed into the box beside the board.
export async function typeMove(page, move) {
    await page.type("#move-input", move)
    await page.keyboard.press("Enter")
}

// Waits until the board shows `piece` on `square`: "wn", a colour "b", or null for empty.
export async function expectPiece(page, square, piece) {
    await page.waitForFunction((sq, want) => {
        const p = document.querySelector(`#board g[data-square="${sq}"][data-piece]`)?.dataset.piece ?? null
        return want === null ? p === null : p?.startsWith(want)
    }, {timeout: 5000, polling: 50}, square, piece).catch(() => assert.fail(`${square} does not show ${piece}`))
}

export const text = (page, selector) => page.$eval(selector, (el) => el.textContent.trim())
export const moveList = (page) => page.$$eval("#moves button[data-index]", (turns) => turns.map((t) => t.textContent))

export async function waitMoves(page, count) {
    await page.waitForFunction((n) => document.querySelectorAll("#moves button[data-index]").length >= n &&
        ["human", "over"].includes(document.body.dataset.phase), POLL, count)
}

// Sets up `fen` as a person does, then waits until the board shows it (the
// person to move), or until the page shows why it was refused.
export async function setUp(page, fen, refused = false) {
    await page.evaluate(() => (document.getElementById("setup").open = true))
    await page.$eval("#setup-fen", (el) => (el.value = ""))
    await page.type("#setup-fen", fen)
    await page.click("#setup-go")
    await confirmIfAsked(page)
    if (refused) return page.waitForFunction(() => document.getElementById("setup-error").textContent !== "", POLL)
    await page.waitForFunction((f) => document.getElementById("fen").textContent === f, POLL, fen)
    await phase(page, "human")
}

// Answers the page's own dialog (a game with moves ends only when the person says yes).
export async function confirmIfAsked(page, yes = true) {
    if (await page.$eval("#confirm", (d) => d.open)) await page.click(yes ? "#confirm-yes" : "#confirm-no")
}

export async function screenshot(page, name) {
    await pause(250) // let the last animation end
    await page.screenshot({path: path.join(shots, `${name}.png`)})
}
