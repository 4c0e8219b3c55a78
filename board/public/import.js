// Games from outside the page: a PGN pasted or opened (normal chess, or
// Marseillais with a `Variant` tag and its turns as comma pairs, from a `FEN`
// tag when there is one), and the share link that holds a game in the URL's
// fragment. Both give {variant, startFen, turns (coordinates), level, result}
// or {error}; chess.js reads the SAN, and the engine then checks every turn.
import {Chess} from "chess.js"
import {START_FEN, sideOf, fields, turnMoves, afterTurn, sameSideAgain, playMove} from "./positions.js"
import {LEVELS} from "./clock.js"

const MAX_IMPORT = 100000 // characters of PGN the page reads
const RESULTS = ["1-0", "0-1", "1/2-1/2", "*"]

// The FEN with its two counters added when they are left out ("... w KQkq -").
export function fullFen(fen) {
    const f = fen.trim().split(/\s+/)
    if (f.length === 4) f.push("0", "1")
    return f.join(" ")
}

// The level a PGN `TimeControl` names ("40/300", "180+2"), or undefined.
export function levelOf(timeControl) {
    return Object.keys(LEVELS).find((key) => {
        const {mps, base, inc} = LEVELS[key]
        return timeControl === (mps ? `${mps}/${base}` : `${base}+${inc}`)
    })
}

// A PGN's tags and its movetext as words (comments, variations, NAGs and move numbers gone).
export function readPgn(text) {
    const headers = {}
    const body = text.replace(/^\s*\[(\w+)\s+"((?:[^"\\]|\\.)*)"\s*\]\s*$/gm, (_, key, value) => {
        headers[key] = value.replace(/\\(.)/g, "$1")
        return ""
    })
    let plain = body.replace(/\{[^}]*\}/g, " ").replace(/;[^\n]*/g, " ")
    // variations nest, so they are removed from the inside out
    for (let before = ""; before !== plain;) {
        before = plain
        plain = plain.replace(/\([^()]*\)/g, " ")
    }
    const words = plain.replace(/\$\d+/g, " ").replace(/\d+\.(\.\.)?/g, " ").split(/\s+/).filter(Boolean)
    return {headers, words}
}

// The position a pending turn's move number names: "3." or "3...".
function turnName(fen, words) {
    const [, side, , , , full] = fields(fen)
    return `${full}${side === "w" ? "." : "..."} ${words}`
}

// A game from PGN text, or {error} naming the first move that cannot be played.
export function importPgn(text) {
    if (text.length > MAX_IMPORT) return {error: "That text is too long for a game."}
    const {headers, words} = readPgn(text)
    const variantTag = (headers.Variant || "").toLowerCase()
    if (variantTag && !["standard", "chess", "normal", "marseillais"].includes(variantTag)) {
        return {error: `quarn plays normal chess and Marseillais, not "${headers.Variant}".`}
    }
    const variant = variantTag === "marseillais" ? "marseillais" : "normal"
    let startFen = null
    if (headers.FEN) {
        startFen = fullFen(headers.FEN)
        try {
            new Chess(startFen)
        } catch {
            return {error: `The FEN tag holds no position the board can show: ${headers.FEN}`}
        }
    }
    const result = RESULTS.includes(words.at(-1)) ? words.pop() : headers.Result
    const turns = []
    let fen = startFen || START_FEN
    for (const word of words) {
        const text = sanTurn(fen, word, variant)
        if (!text) return {error: `The move ${turnName(fen, word)} cannot be played here.`, at: turns.length}
        turns.push(text)
        fen = afterTurn(fen, text, variant)
    }
    return {variant, startFen, turns, level: levelOf(headers.TimeControl), result: RESULTS.includes(result) ? result : "*"}
}

// A turn in SAN ("e4", "e5,Nc6") as coordinates, or null.
function sanTurn(fen, word, variant) {
    const sans = word.split(",")
    if (sans.length > (variant === "marseillais" ? 2 : 1) || sans.some((s) => !s)) return null
    const side = sideOf(fen)
    const moves = []
    let at = fen
    for (const san of sans) {
        try {
            const move = new Chess(moves.length ? sameSideAgain(at, side) : at).move(san)
            moves.push(move.from + move.to + (move.promotion ?? ""))
            at = playMove(moves.length > 1 ? sameSideAgain(at, side) : at, moves.at(-1)).fen
        } catch {
            return null
        }
    }
    return moves.join(",")
}

// The fragment of a share link ("#variant=normal&turns=e2e4+e7e5,..."), and back.
export function shareFragment(game) {
    const p = new URLSearchParams({variant: game.variant})
    if (game.startFen) p.set("fen", game.startFen)
    p.set("turns", game.turns.join(" "))
    p.set("level", game.level)
    return "#" + p.toString().replace(/%2C/g, ",").replace(/%2F/g, "/") // both are safe in a fragment
}

export function readShareFragment(hash) {
    const p = new URLSearchParams(hash.replace(/^#/, ""))
    if (!p.has("turns")) return null
    const variant = p.get("variant") === "marseillais" ? "marseillais" : "normal"
    const startFen = p.get("fen") ? fullFen(p.get("fen")) : null
    const turns = p.get("turns").split(" ").filter(Boolean)
    let fen = startFen || START_FEN
    for (const [i, turn] of turns.entries()) {
        try {
            if (!/^[a-h][1-8][a-h][1-8][qrbn]?(,[a-h][1-8][a-h][1-8][qrbn]?)?$/.test(turn)) throw new Error(turn)
            turnMoves(fen, turn)
            fen = afterTurn(fen, turn, variant)
        } catch {
            return {error: `The link's move ${turnName(fen, turn)} cannot be played here.`, at: i}
        }
    }
    return {variant, startFen, turns, level: LEVELS[p.get("level")] ? p.get("level") : undefined, result: "*"}
}
