// Plain words for what the page refuses: a move or turn the engine's list
// does not hold, and a FEN that is not one.
import {Chess} from "chess.js"
import {sideOf, other, sameSideAgain, playMove, uciParts} from "./positions.js"

// Why `uci` (from `fen`, the first move of a turn unless `firstMove` is
// given; a square alone: a piece with no move) is not among the legal moves;
// chess.js only explains, the engine's list has decided.
export function refusalReason(fen, uci, variant, firstMove = null) {
    const side = sideOf(fen)
    const at = firstMove ? sameSideAgain(playMove(fen, firstMove).fen, side) : fen
    const chess = new Chess(at)
    const {from, to} = uciParts(uci)
    const piece = chess.get(from)
    if (!piece || piece.color !== side) return "Pick up one of your own pieces."
    if (variant === "marseillais" && !firstMove && chess.moves({square: from, verbose: true}).some((m) => m.to === to)) {
        return "In Marseillais that move cannot start a turn: no legal second move follows it."
    }
    if (chess.inCheck()) return "You are in check: your turn must answer it."
    if (!to) return `Your ${PIECE_NAMES[piece.type]} on ${from} has no legal move now.`
    if (leavesKingAttacked(chess, from, to, side)) return "That would leave your king in check."
    if (variant === "marseillais" && firstMove) {
        if (new Chess(fen).moves({verbose: true}).some((m) => m.lan === firstMove && m.san.endsWith("+"))) {
            return "Your first move gave check, which ends the turn."
        }
    }
    return `Your ${PIECE_NAMES[piece.type]} on ${from} cannot move to ${to}.`
}

const PIECE_NAMES = {p: "pawn", n: "knight", b: "bishop", r: "rook", q: "queen", k: "king"}

// Whether moving the piece on `from` to `to`, however it got there, leaves its king attacked.
function leavesKingAttacked(chess, from, to, side) {
    const board = new Chess(chess.fen(), {skipValidation: true})
    const piece = board.remove(from)
    board.remove(to)
    board.put(piece, to)
    const king = board.findPiece({type: "k", color: side})[0]
    return !!king && board.isAttacked(king, other(side))
}

const FEN_SHAPE = "A FEN has the pieces, the side to move (w or b), castling (KQkq or -), the en-passant square " +
    "(or -) and two counters, which may be left out."

// What is wrong with a FEN's text, in plain words, or "" when the engine may judge it.
export function fenWords(fen) {
    const f = fen.trim().split(/\s+/)
    if (f.length < 4 || f.length > 6) return `That is not a FEN. ${FEN_SHAPE}`
    const [board, side, castling, ep, half = "0", full = "1"] = f
    const ranks = board.split("/")
    if (ranks.length !== 8) return `The board needs 8 ranks separated by "/"; this one has ${ranks.length}.`
    for (const [i, rank] of ranks.entries()) {
        const odd = /[^1-8pnbrqkPNBRQK]/.exec(rank)
        if (odd) return `Rank ${8 - i} holds "${odd[0]}", which is no piece: K, Q, R, B, N, P (lower case for Black) or a digit 1-8.`
        const squares = [...rank].reduce((n, c) => n + (/\d/.test(c) ? Number(c) : 1), 0)
        if (squares !== 8) return `Rank ${8 - i} ("${rank}") has ${squares} squares, not 8.`
    }
    for (const [color, king] of [["White", "K"], ["Black", "k"]]) {
        const kings = [...board].filter((c) => c === king).length
        if (kings !== 1) return `${color} needs exactly one king; this board has ${kings}.`
    }
    if (!/^[wb]$/.test(side)) return `The side to move must be w or b, not "${side}".`
    if (!/^(-|K?Q?k?q?)$/.test(castling)) return `Castling must be - or letters from KQkq in that order, not "${castling}".`
    if (!/^(-|[a-h][36])$/.test(ep)) return `The en-passant square must be - or a square on rank 3 or 6, not "${ep}".`
    if (!/^\d{1,4}$/.test(half) || !/^\d{1,4}$/.test(full)) return "The two counters must be whole numbers."
    return ""
}

// The engine's refusal of a well-formed FEN, in plain words.
export const ENGINE_REFUSED_FEN = "quarn cannot play from this position: for example the side not to move is in " +
    "check, a pawn stands on the first or last rank, or castling is allowed without its king and rook at home."
