// Standard algebraic notation: the move list, the PGN download and typed
// moves. A Marseillais turn is its two moves joined by a comma ("e5,Nc6"),
// as variant sites write it.
import {turnMoves, playMove, sameSideAgain, sideOf, fields, afterTurn} from "./positions.js"

// The SAN of a turn played from `fen` ("e4", "Nf3,Bc4", "e8=Q+").
export const turnSan = (fen, text) => turnMoves(fen, text).map(({move}) => move.san).join(",")

// A line of turns in coordinates ("e2e4 e7e5,g8f6"), in SAN; as given if it
// cannot be followed.
export function lineSan(fen, line, variant) {
    try {
        let f = fen
        return line.split(" ").filter(Boolean).map((turn) => {
            const san = turnSan(f, turn)
            f = afterTurn(f, turn, variant)
            return san
        }).join(" ")
    } catch {
        return line
    }
}

// The move-list rows: [{number, cells: [{index, san} or null (Black began)]}].
export function moveRows(startFen, sans, sideOfTurn) {
    const rows = []
    let number = Number(fields(startFen)[5]) || 1
    sans.forEach((san, index) => {
        const side = sideOfTurn(index)
        if (side === "w" || !rows.length) rows.push({number, cells: side === "b" ? [null] : []})
        rows[rows.length - 1].cells.push({index, san})
        if (side === "b") number++
    })
    return rows
}

// The movetext: "1. e4 e5,Nc6 2. Qh5,Nf3 g6,gxh5 *" ("1... e5" when Black began).
export function movetext(rows, result) {
    const words = []
    for (const {number, cells} of rows) {
        words.push(cells[0] ? `${number}.` : `${number}...`)
        for (const cell of cells) if (cell) words.push(cell.san)
    }
    words.push(result)
    const lines = [""]
    for (const w of words) {
        const line = lines[lines.length - 1]
        if (line && line.length + 1 + w.length > 79) lines.push(w)
        else lines[lines.length - 1] = line ? `${line} ${w}` : w
    }
    return lines.join("\n")
}

// The move-list rows of a game: `sans` of its turns, `positions` before each,
// a mate marked (chess.js knows mate by one move a turn, so a Marseillais mate,
// no legal turn, may come out as a check).
export function gameRows(positions, sans, result) {
    const shown = result?.text.startsWith("Checkmate") && sans.length
        ? [...sans.slice(0, -1), sans.at(-1).replace(/[+#]?$/, "#")] : sans
    return moveRows(positions[0], shown, (i) => sideOf(positions[i]))
}

// The PGN headers of a game record played on `site` on `date`.
export function gameHeaders(game, level, site, date) {
    const player = (side) => (side === game.human || game.human === "both" ? "Player" : "quarn")
    const headers = [["Event", "quarn board game"], ["Site", site || "-"],
        ["Date", date.toISOString().slice(0, 10).replaceAll("-", ".")], ["Round", "-"], ["White", player("w")],
        ["Black", player("b")], ["Result", game.result ? game.result.score : "*"], ["TimeControl",
        level.mps ? `${level.mps}/${level.base}` : `${level.base}+${level.inc}`]]
    if (game.variant === "marseillais") headers.push(["Variant", "Marseillais"])
    if (game.startFen) headers.push(["SetUp", "1"], ["FEN", game.startFen])
    return headers
}

export function pgn(headers, rows, result) {
    const escape = (v) => String(v).replace(/[\\"]/g, "\\$&")
    return headers.map(([k, v]) => `[${k} "${escape(v)}"]`).join("\n") + "\n\n" + movetext(rows, result) + "\n"
}

// SAN without the marks a person may leave out or add (check, mate, "=" before
// a promotion piece, annotations); castling may be typed with zeros.
const plain = (san) => san.replace(/[+#!?=]/g, "").replace(/^0-0(-0)?$/, (m) => m.replaceAll("0", "O"))

// The move a person typed (SAN or coordinates, any case for coordinates)
// among `moves`, the coordinate moves playable now in `fen`; null if none.
export function matchTyped(typed, fen, moves) {
    const word = typed.trim()
    const coords = word.toLowerCase().replace(/[-x=]/g, "")
    if (moves.includes(coords)) return coords
    const sans = moves.map((uci) => plain(playMove(fen, uci).move.san))
    for (const same of [(san) => san === plain(word), (san) => san.toLowerCase() === plain(word).toLowerCase()]) {
        const found = moves.filter((_, i) => same(sans[i]))
        if (found.length) return found.length === 1 ? found[0] : null
    }
    return null
}

// A typed turn split into its moves and matched one by one: `legal` is the
// engine's list of turns, `firstMove` a first move already on the board.
// Returns the coordinate moves to play, or null.
export function parseTypedTurn(typed, fen, legal, firstMove) {
    const words = typed.split(",").map((w) => w.trim()).filter(Boolean)
    if (!words.length || words.length > (firstMove ? 1 : 2)) return null
    const played = []
    let first = firstMove
    for (const word of words) {
        const options = candidateMoves(legal, first)
        const at = first ? sameSideAgain(playMove(fen, first).fen, sideOf(fen)) : fen
        const uci = matchTyped(word, at, options)
        if (!uci) return null
        played.push(uci)
        if (first) break
        first = uci
    }
    return played
}

// The moves playable now: first moves of the legal turns, or the second
// moves of the turns that begin with `firstMove`.
export function candidateMoves(legal, firstMove) {
    const moves = new Set()
    for (const entry of legal) {
        const [a, b] = entry.split(",")
        if (firstMove === null || firstMove === undefined) moves.add(a)
        else if (a === firstMove && b) moves.add(b)
    }
    return [...moves]
}

export const MATE_SCORE = 32000 // the engine's score for a mate on the board, less one per ply (turn in Marseillais)
const MATE_PLIES = 1024  // the deepest line the engine can report

// True for a score that announces a mate.
export const isMate = (score) => MATE_SCORE - Math.abs(score) >= 0 && MATE_SCORE - Math.abs(score) < MATE_PLIES

// A score as players read it, from quarn's side: "+0.35", "-1.20", or a mate
// as "#3" (quarn mates in 3 moves, or turns in Marseillais) and "#-2" (it is mated in 2).
export function scoreText(score) {
    if (isMate(score)) return `#${score < 0 ? "-" : ""}${Math.ceil((MATE_SCORE - Math.abs(score)) / 2)}`
    return `${score > 0 ? "+" : ""}${(score / 100).toFixed(2)}`
}
