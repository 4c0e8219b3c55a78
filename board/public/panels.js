// What the analysis panel and quarn's thinking line say about a state: pure
// functions of the flow's state, drawn by the view.
import {sideOf, colorName} from "./positions.js"
import {lineSan, scoreText, isMate} from "./notation.js"
import {quarnSide} from "./flow.js"

const EVEN_SHARE = 50    // the bar's White share for an even or a drawn position
const BAR_SCALE = 250    // centipawns that move the bar about a quarter of the way from even
const CENTIPAWNS = 100
const CENTISECONDS = 100 // the engine reports its time in hundredths of a second

const pawns = (centipawns) => (centipawns / CENTIPAWNS).toFixed(2)

// The bar after a mate on the board: all White's when White won.
const winnerShare = (text) => (text.endsWith("White wins") ? 100 : 0)

const turnNumber = (fen) => `${fen.split(" ")[5]}${sideOf(fen) === "w" ? "." : "..."}`

// White's score from a score of the side to move in `fen`, and White's share of the bar.
export function forWhite(fen, score) {
    const white = sideOf(fen) === "w" ? score : -score
    return {white, share: isMate(white) ? (white > 0 ? 100 : 0) : 100 / (1 + Math.exp(-white / BAR_SCALE))}
}

// The analysis panel, {text, white} (white: the bar's White share, or null for
// no bar), or null when nothing is analysed: the game review's progress and
// findings, or the search of the position shown.
export function analysisPanel(s) {
    const r = s.gameReview
    if (r) {
        const worst = r.drops?.filter((d) => d.marked).sort((a, b) => b.drop - a.drop)
            .map((d) => `${turnNumber(s.positions[d.turn])} ${s.sans[d.turn]} (−${pawns(d.drop)})`)
        const text = r.error || (!r.done ? `Reviewing the game: position ${r.at + 1} of ${r.count}…`
            : worst.length ? `Review done. The turns where the mover's score fell most: ${worst.join(", ")}.`
                : "Review done: no turn lost its mover a pawn or more.")
        return {text, white: null}
    }
    const a = s.analysis
    if (!a) return null
    if (a.error) return {text: a.error, white: null}
    const over = s.game.result?.text ?? ""
    if (a.index === s.positions.length - 1 && /^(Checkmate|Stalemate)/.test(over)) {
        return {text: `${over}: no move to search.`, white: over.startsWith("Stalemate") ? EVEN_SHARE : winnerShare(over)}
    }
    if (!a.info) return {text: "quarn is analysing this position…", white: EVEN_SHARE}
    const {white, share} = forWhite(a.fen, a.info.score)
    return {text: `${scoreText(white)} · depth ${a.info.depth} · ${lineSan(a.fen, a.info.pv, s.game.variant)}`, white: share}
}

// The game review's marks for the move list: turn index -> why, or null.
export const reviewMarks = (s) => (s.gameReview?.drops ? Object.fromEntries(s.gameReview.drops.filter((d) => d.marked)
    .map((d) => [d.turn, `The mover's score fell by ${pawns(d.drop)}`])) : null)

// quarn's thinking line, or "" when quarn has not thought or plays no side.
export function thinkingText(s) {
    const t = s.thought
    const side = quarnSide(s)
    if (!t || !side) return ""
    return `depth ${t.depth} · ${scoreText(t.score)} for quarn (${colorName(side)}) · ${(t.time / CENTISECONDS).toFixed(2)} s · ` +
        `${t.nodes} nodes · ${lineSan(s.positions.at(-1), t.pv, s.game.variant)}`
}
