// Browser tests shared by the served board (board.test.js) and the static
// site (static.test.js): the clock at the flag, review, the phone layout, a
// hidden tab giving its engine back, import, export and share links, two
// people at one board, analysis and game review. Each case: [name, body(page, env)],
// with env from caseEnv below. Rules the page's pure modules decide (who may
// still mate at the flag, when a clock starts, increments) are tested under Node
// in test/flow.test.js; these cases check what only a browser shows.
import assert from "node:assert/strict"
import {phase, clickMove, typeMove, waitMoves, moveList, text, screenshot, settings, openTab, confirmIfAsked, setUp}
    from "./helpers.js"

const POLL = {timeout: 30000, polling: 50}

// A stored game, White (the person) to move with `whiteMs` on the clock after
// a first turn each from `fen`; the page resumes it in a new tab.
async function resume(page, env, fen, turns, whiteMs, hook = false) {
    await page.evaluate((fen, turns, w) => localStorage.setItem("quarn-board-game:stored", JSON.stringify({
        variant: "normal", human: "w", level: "quick", random: true, startFen: fen, turns, result: null,
        clocks: [{w: 30000, b: 30000}, {w: 30000, b: 30000}, {w, b: 30000}], spent: 0, flipped: false,
        savedAt: Date.now() + 60000,
    })), fen, turns, whiteMs)
    return env.open("", hook)
}

// What a case's body gets: open(query, hook) opens another tab of the page's
// browser context at `url` (hooked by moveAfterFlag if asked); sessions() counts
// the board server's engines (null for the static site).
export const caseEnv = (page, url, sessions) => ({
    sessions,
    async open(query = "", hook = false) {
        const tab = await page.browserContext().newPage()
        await tab.setViewport({width: 1100, height: 860})
        if (hook) await tab.evaluateOnNewDocument(moveAfterFlag, "Ra8")
        await tab.goto(url + query)
        return tab
    },
})

// Played in the page: at the first save of the game that leaves White less
// than one clock refresh (250 ms), `move` is typed a little after White's
// clock reaches 0:00 and before the next refresh could see it.
function moveAfterFlag(move) {
    const setItem = Storage.prototype.setItem
    let armed = true
    Storage.prototype.setItem = function (key, value) {
        setItem.call(this, key, value)
        if (!armed || !key.startsWith("quarn-board-game:")) return
        const g = JSON.parse(value)
        const left = g.clocks[g.turns.length].w - g.spent
        if (g.turns.length !== 2 || left <= 0 || left >= 250 || g.spent === 0) return
        armed = false
        setTimeout(() => {
            document.getElementById("move-input").value = move
            document.getElementById("typed").requestSubmit()
        }, left + Math.min(20, (250 - left) / 2))
    }
}

const inViewport = (page) => page.evaluate(() => {
    const out = []
    for (const id of ["board", "clock-top", "clock-bottom", "moves", "review-prev", "review-next"]) {
        const r = document.getElementById(id).getBoundingClientRect()
        if (r.left < 0 || r.top < 0 || r.right > innerWidth || r.bottom > innerHeight || !r.width) out.push(`${id} ${JSON.stringify(r)}`)
    }
    if (document.documentElement.scrollWidth > innerWidth) out.push(`page ${document.documentElement.scrollWidth} px wide`)
    for (const el of document.querySelectorAll("#record button:not([hidden]), #play button, select, summary")) {
        const r = el.getBoundingClientRect()
        if (r.width && (r.width < 44 || r.height < 44)) out.push(`${el.id || el.textContent} ${r.width}x${r.height}`)
    }
    return out
})

export const CASES = [
    ["a mate typed just after the flag loses on time", async (page, env) => {
        const tab = await resume(page, env, "6k1/6pp/8/8/8/8/5PPP/1R4K1 w - - 0 1", ["b1a1", "g8h8"], 1200, true)
        await phase(tab, "over")
        assert.equal(await text(tab, "#banner"), "White's time ran out: Black wins (0-1)")
        assert.deepEqual(await moveList(tab), ["Ra1", "Kh8"])
        assert.equal(await text(tab, "#clock-bottom .time"), "0:00")
        const stored = await tab.evaluate(() => JSON.parse(localStorage.getItem("quarn-board-game:stored")))
        assert.equal(stored.clocks.at(-1).w - stored.spent, 0) // never below 0:00
        await tab.close()
    }],
    ["review by keys and buttons, inside a Marseillais turn", async (page) => {
        await settings(page, {variant: "marseillais", side: "w", level: "m5", random: true})
        await typeMove(page, "e4")
        await waitMoves(page, 2)
        await typeMove(page, "d4,Nf3")
        await waitMoves(page, 4)
        const black = (await moveList(page))[1].split(",")
        // the FEN shown, the review step ("turn.move"), the turn marked, the move marked inside it
        const viewed = () => page.evaluate(() => [document.getElementById("fen").textContent,
            document.getElementById("moves").dataset.viewing,
            document.querySelector("#moves [aria-current]")?.dataset.index ?? null,
            document.querySelector("#moves .shown")?.textContent ?? null])
        const gameFen = await text(page, "#fen")
        await page.click("#status") // out of the move box, where the arrow keys move the caret
        const walk = [["Home", "-1.0", null, null], ["ArrowRight", "0.0", "0", null], ["ArrowRight", "1.0", "1", black[0]],
            ["ArrowRight", "1.1", "1", black[1]], ["ArrowUp", "0.0", "0", null], ["ArrowDown", "1.1", "1", black[1]],
            ["ArrowLeft", "1.0", "1", black[0]]]
        for (const [key, ...want] of walk) {
            await page.keyboard.press(key)
            assert.deepEqual((await viewed()).slice(1), want, key)
        }
        assert.match(await text(page, "#status"), /^Viewing the position after Black's /)
        await screenshot(page, "review-desktop")
        await page.click("#review-first")
        assert.deepEqual(await viewed(), ["rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "-1.0", null, null])
        assert.equal(await page.$eval("#review-prev", (b) => b.disabled), true)
        await page.click("#review-next")
        assert.equal((await viewed())[1], "0.0")
        await page.click("#review-last")
        assert.deepEqual(await viewed(), [gameFen, "", "3", null])
        assert.equal(await page.$eval("#review-next", (b) => b.disabled), true)
        await page.keyboard.press("ArrowUp")
        assert.equal((await viewed())[1], "2.1") // the end of White's second turn
        await page.keyboard.press("End")
        assert.equal((await viewed())[0], gameFen)
    }],
    ["phone: board, clocks and moves in view together, in play and review", async (page) => {
        await page.setViewport({width: 390, height: 844, isMobile: true, hasTouch: true, deviceScaleFactor: 1})
        await settings(page, {variant: "normal", side: "w", level: "i3", random: true})
        for (const [from, to, n] of [["e2", "e4", 2], ["g1", "f3", 4], ["b1", "c3", 6]]) {
            await clickMove(page, from, to, true)
            await waitMoves(page, n)
        }
        // the person's clock runs (each side's from its first turn), with its increment shown
        assert.deepEqual(await page.$$eval(".clock.running", (c) => c.map((el) => el.id)), ["clock-bottom"])
        assert.equal(await text(page, "#clock-bottom .inc"), "+2 s")
        assert.deepEqual(await inViewport(page), [])
        await screenshot(page, "phone-play")
        await page.tap("#review-prev")
        await page.tap("#review-prev")
        assert.notEqual(await page.$eval("#moves", (m) => m.dataset.viewing), "")
        assert.deepEqual(await inViewport(page), [])
        await screenshot(page, "phone-review")
    }],
    ["a hidden tab gives its engine back and takes one again when shown", async (page, env) => {
        const tab = await env.open("?release-after=400")
        await settings(tab, {variant: "normal", side: "w", level: "m5", random: true})
        await clickMove(tab, "e2", "e4")
        await waitMoves(tab, 2)
        const engines = env.sessions()
        const other = await env.open()
        await other.bringToFront() // the first tab is hidden now
        await phase(tab, "asleep")
        if (engines !== null) await waitFor(() => env.sessions() === engines) // the server ended it
        await tab.bringToFront()
        await phase(tab, "human")
        assert.deepEqual((await moveList(tab))[0], "e4")
        await clickMove(tab, "d2", "d4")
        await waitMoves(tab, 4)
        await other.close()
    }],
]

// Pastes `pgn` into the import box and opens it.
async function importPgn(page, pgn) {
    await page.evaluate((text) => {
        document.getElementById("import").open = true
        document.getElementById("import-text").value = text
    }, pgn)
    await page.click("#import-go")
    await confirmIfAsked(page)
}

// Waits until the analysis line matches `pattern`.
const analysisLine = (page, pattern) => page.waitForFunction((p) => new RegExp(p).test(
    document.getElementById("analysis-line").textContent), POLL, pattern.source)

// What a click on `button` puts on the clipboard (the page's clipboard, headless, is the test's).
async function copied(page, button) {
    await page.evaluate(() => (navigator.clipboard.writeText = async (text) => (window.copiedText = text)))
    await page.click(button)
    return (await page.waitForFunction(() => window.copiedText, POLL)).jsonValue()
}

CASES.push(
    ["a PGN imported (a refused one named), continued against quarn and exported", async (page) => {
        await settings(page, {variant: "normal", side: "w", level: "m5", random: true})
        await importPgn(page, "1. e4 e5 2. Ke3 Nc6")
        await page.waitForFunction(() => document.getElementById("import-error").textContent !== "", POLL)
        assert.equal(await text(page, "#import-error"), "The move 2. Ke3 cannot be played here.")
        await importPgn(page, "[Event \"club\"]\n\n1. e4 {best by test} e5 2. Nf3 (2. f4) 1-0")
        await phase(page, "over")
        assert.deepEqual(await moveList(page), ["e4", "e5", "Nf3"])
        await screenshot(page, "import")
        await page.click("#play-here") // the imported result goes; the person plays Black, the side to move
        await phase(page, "human")
        assert.equal(await page.$eval("#side", (s) => s.value), "b")
        await typeMove(page, "Nc6")
        await waitMoves(page, 5)
        const pgn = await copied(page, "#copy-pgn")
        assert.match(pgn, /\[White "quarn"\]\n\[Black "Player"\]/)
        assert.match(pgn, /\n1\. e4 e5 2\. Nf3 Nc6 3\. \S+ \*\n$/)
    }],
    ["a share link opens the game in a fresh browser", async (page) => {
        await settings(page, {variant: "marseillais", side: "w", level: "m5", random: true})
        await typeMove(page, "e4")
        await waitMoves(page, 2)
        const played = await moveList(page)
        const link = await copied(page, "#share")
        assert.match(link, /#variant=marseillais&turns=e2e4\+[a-h1-8,]+&level=m5$/)
        const other = await openTab(await page.browser().createBrowserContext(), link)
        try {
            assert.deepEqual(await moveList(other), played)
            assert.equal(await other.$eval("#variant", (s) => s.value), "marseillais")
            assert.equal(await other.evaluate(() => location.hash), "") // a reload keeps the tab's game, not the link's
        } finally {
            await other.browserContext().close()
        }
    }],
    ["two people at one board play to mate; quarn only judges", async (page) => {
        await settings(page, {variant: "normal", side: "both", level: "m5"})
        for (const [from, to, n] of [["f2", "f3", 1], ["e7", "e5", 2], ["g2", "g4", 3]]) {
            await clickMove(page, from, to)
            await waitMoves(page, n)
            assert.match(await text(page, "#status"), n % 2 ? /^Black to move/ : /^White to move/)
        }
        await clickMove(page, "d8", "h4")
        await phase(page, "over")
        assert.equal(await text(page, "#banner"), "Checkmate: Black wins (0-1)")
        assert.equal(await text(page, "#clock-top .who"), "Black (player)")
        await page.click("#analyse") // a finished game: the mate is told, not searched
        assert.equal(await text(page, "#analysis-line"), "Checkmate: Black wins: no move to search.")
        await page.click("#analyse")
    }],
    ["analysis of a mate in 2 in each variant shows #2, on a second engine", async (page, env) => {
        const engines = env.sessions()
        for (const [variant, fen] of [["normal", "k7/8/2K5/8/8/8/8/7R w - - 0 1"],
            ["marseillais", "k7/8/8/3K4/8/8/8/7R w - - 0 1"]]) {
            await settings(page, {variant, side: "w", level: "m5"})
            await setUp(page, fen)
            if (!await page.$eval("#analyse", (box) => box.checked)) await page.click("#analyse")
            await analysisLine(page, /^#2 · depth \d+ · /)
            assert.equal(await page.$eval("#eval-fill", (el) => el.style.width), "100%")
            if (engines !== null) assert.equal(env.sessions(), engines + 1) // the analysis holds an engine of its own
            await screenshot(page, `analysis-${variant}`)
        }
        // a position viewed in the game is analysed anew; switching off gives the engine back
        await page.click("#review-first")
        await analysisLine(page, /^#2 · depth/)
        await page.click("#analyse")
        assert.equal(await page.$eval("#analysis", (el) => el.hidden), true)
    }],
    ["a game review of a short Marseillais game marks the worst turns", async (page) => {
        await settings(page, {variant: "marseillais", side: "w", level: "m5", random: false})
        await typeMove(page, "e4")
        await waitMoves(page, 2)
        await typeMove(page, "Qh5,Qxh7") // gives the queen for a pawn
        await waitMoves(page, 4)
        await page.click("#game-review")
        await analysisLine(page, /^Reviewing the game: position \d of 5/)
        await analysisLine(page, /^Review done/)
        assert.match(await text(page, "#analysis-line"), /2\. Qh5,Qxh7 \(−\d+\.\d\d\)/)
        assert.ok((await page.$$eval("#moves button.dropped", (b) => b.map((x) => x.dataset.index))).includes("2"))
        await screenshot(page, "review-marseillais")
        await page.click("#game-review")
        assert.equal(await page.$$eval("#moves button.dropped", (b) => b.length), 0)
    }],
)

async function waitFor(check) {
    for (let i = 0; i < 200 && !check(); i++) await new Promise((r) => setTimeout(r, 50))
    assert.ok(check(), "the engine was not given back")
}
