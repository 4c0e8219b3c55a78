// Positions as FEN text. chess.js plays a move the engine has called legal
// and answers what the engine does not print (check, the pieces on a square);
// the page has no move rules of its own.
import {Chess} from "chess.js"

export const START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"

export const fields = (fen) => fen.split(" ")
export const sideOf = (fen) => fields(fen)[1]
export const other = (side) => (side === "w" ? "b" : "w")
export const colorName = (side) => (side === "w" ? "White" : "Black")
export const uciParts = (uci) => ({from: uci.slice(0, 2), to: uci.slice(2, 4), promotion: uci[4]})

// The position after one move, and chess.js's record of it (its SAN, flags, capture).
export function playMove(fen, uci) {
    const chess = new Chess(fen)
    const move = chess.move(uciParts(uci))
    return {fen: chess.fen(), move}
}

// The same side moves again: the second move of a Marseillais turn.
// En passant is never a second move, so the field is cleared.
export function sameSideAgain(fen, side) {
    const f = fields(fen)
    return [f[0], side, f[2], "-", f[4], f[5]].join(" ")
}

// The moves of a turn ("e2e4" or "e7e5,b8c6"), each with the position it is played in.
export function turnMoves(fen, text) {
    const side = sideOf(fen)
    const moves = []
    let f = fen
    text.split(",").forEach((uci, i) => {
        const before = i ? sameSideAgain(f, side) : f
        const played = playMove(before, uci)
        moves.push({uci, before, after: played.fen, move: played.move})
        f = played.fen
    })
    return moves
}

// The position at the start of the next turn. In Marseillais the page writes
// its FEN so that "setboard" of it gives the engine the same legal turns: the
// en-passant square when the turn's last move was a two-square push with an
// enemy pawn beside it (the squares the engine's setboard keeps), the half-move
// field counting turns since a capture or pawn move, the full-move field
// counting Black's turns.
export function afterTurn(fen, text, variant) {
    if (variant === "normal") return playMove(fen, text).fen
    const [, side, , , half, full] = fields(fen)
    const moves = turnMoves(fen, text)
    const last = moves[moves.length - 1]
    const resets = moves.some(({move}) => move.piece === "p" || !!move.captured)
    let ep = "-"
    if (last.move.flags.includes("b")) {
        const chess = new Chess(last.after)
        const rank = last.move.to[1]
        const enemyPawnBeside = [-1, 1].some((d) => {
            const file = String.fromCharCode(last.move.to.charCodeAt(0) + d)
            const piece = file >= "a" && file <= "h" && chess.get(file + rank)
            return piece && piece.type === "p" && piece.color === other(side)
        })
        if (enemyPawnBeside) ep = last.move.to[0] + (side === "w" ? "3" : "6")
    }
    return [fields(last.after)[0], other(side), fields(last.after)[2], ep, resets ? 0 : Number(half) + 1,
        Number(full) + (side === "b" ? 1 : 0)].join(" ")
}

export const inCheck = (fen) => new Chess(fen).inCheck()

// The square of the side to move's king when it is in check, or null.
export function checkedKing(fen) {
    const chess = new Chess(fen)
    return chess.inCheck() ? chess.findPiece({type: "k", color: sideOf(fen)})[0] ?? null : null
}

// Every piece on the board other than kings: [{type, color, square}].
export function pieces(fen) {
    return new Chess(fen).board().flat().filter((p) => p && p.type !== "k")
}

// Why chess.js cannot show a position the engine accepted, or null.
export function unshowable(fen) {
    try {
        new Chess(fen)
        return null
    } catch (e) {
        return e.message
    }
}
