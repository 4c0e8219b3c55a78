// Plays one whole Marseillais game through the browser: the "person" clicks a
// random legal turn (asked from a quarn of its own with the page's FEN), quarn
// answers with random turns. Screenshots every 10 turns and at the end.
//   node e2e/full_game.js [seed]
import {execFileSync} from "node:child_process"
import path from "node:path"
import {launch, openPage, phase, settings, clickMove, screenshot, text, moveList} from "./helpers.js"
import {root} from "./helpers.js"

const enginePath = path.resolve(root, process.env.QUARN_ENGINE || "build/quarn")
let seed = Number(process.argv[2] || 7)
const random = () => (seed = (seed * 16807) % 2147483647) / 2147483647

function legalTurns(fen) {
    const out = execFileSync(enginePath, {input: `xboard\nvariant marseillais\nforce\nsetboard ${fen}\ndivide 1\n`})
    return out.toString().split("\n").map((l) => /^# (\S+?) *: \d+$/.exec(l)?.[1]).filter(Boolean)
}

const env = await launch()
try {
    const page = await openPage(env)
    await settings(page, {variant: "marseillais", level: "m5", random: true})
    for (let turn = 0; turn < 200; turn++) {
        await phase(page, "human", "over")
        if (await page.evaluate(() => document.body.dataset.phase) === "over") break
        const moves = (await moveList(page)).length
        if (moves % 10 === 0) await screenshot(page, `full-game-${String(moves).padStart(3, "0")}`)
        const list = legalTurns(await text(page, "#fen"))
        const chosen = list[Math.floor(random() * list.length)]
        for (const [i, move] of chosen.split(",").entries()) {
            if (i) await phase(page, "second")
            await clickMove(page, move.slice(0, 2), move.slice(2, 4))
            if (move[4]) {
                const piece = `.promotion-dialog-group [data-piece='w${move[4]}']`
                await page.waitForSelector(piece, {visible: true})
                await page.click(piece)
            }
        }
        await page.waitForFunction((n) => document.querySelectorAll("#moves span").length > n, {}, moves)
    }
    const moves = await moveList(page)
    await screenshot(page, "full-game-end")
    console.log(`${moves.length} turns; banner: ${await text(page, "#banner")}`)
    console.log(`last turns: ${moves.slice(-6).join(" ")}`)
} finally {
    await env.close()
}
