// How a game ends. The engine adjudicates nothing; the page ends the game as
// a GUI does: mate and stalemate (no legal move or turn), threefold
// repetition, 50 moves (turns in Marseillais) without a capture or pawn move,
// insufficient material, a resignation and a clock that runs out (a draw
// when the other side cannot mate).
import {fields, sideOf, other, colorName, inCheck, pieces} from "./positions.js"

const FIFTY_MOVES = 100    // half-move field: 50 moves by each side (the page counts turns in Marseillais)
const REPETITIONS = 3

const winFor = (side) => (side === "w" ? "1-0" : "0-1")
const squareColor = (square) => (square.charCodeAt(0) + Number(square[1])) % 2

// No sequence of moves can mate. Normal chess: the dead positions a GUI
// knows, bare kings, a king and one knight or bishop against a king, and
// kings with bishops only, all on squares of one colour. Marseillais: bare
// kings only. A checked king must make both moves of its turn, so a flight
// square from which it has no second move does not save it: with Black's
// king on a8, White's bishop on b7 and king on b6, Kb8 is the only escape and
// leaves no move after it, so a lone bishop mates (quarn's "divide 1" finds no
// legal turn there). Which other material can still mate is not worked out,
// so no other position is called dead.
export function insufficientMaterial(fen, variant) {
    const rest = pieces(fen)
    if (!rest.length) return true
    if (variant !== "normal" || rest.some((p) => p.type !== "b" && p.type !== "n")) return false
    if (rest.length === 1) return true
    return rest.every((p) => p.type === "b" && squareColor(p.square) === squareColor(rest[0].square))
}

// The result of the position at the start of the current turn (the last of
// `positions`, which holds the position before every turn), given how many
// legal moves or turns the side to move has; null while the game goes on.
export function gameEnd(positions, legalCount, variant) {
    const fen = positions[positions.length - 1]
    const mover = sideOf(fen)
    if (!legalCount) {
        return inCheck(fen)
            ? {score: winFor(other(mover)), text: `Checkmate: ${colorName(other(mover))} wins`}
            : {score: "1/2-1/2", text: "Stalemate: draw"}
    }
    const key = (f) => fields(f).slice(0, 4).join(" ")
    if (positions.filter((p) => key(p) === key(fen)).length >= REPETITIONS) {
        return {score: "1/2-1/2", text: "Draw by threefold repetition"}
    }
    if (Number(fields(fen)[4]) >= FIFTY_MOVES) {
        return {score: "1/2-1/2", text: `Draw by the 50-${variant === "normal" ? "move" : "turn"} rule`}
    }
    if (insufficientMaterial(fen, variant)) return {score: "1/2-1/2", text: "Draw by insufficient material"}
    return null
}

// Whether `side` has the material to mate at all, whatever the other side
// does (the test a flag needs: the other side's pieces may block its king).
// Normal chess: a bare king never mates; a king and one knight or bishop
// cannot mate a bare king; bishops all on squares of one colour cannot mate
// when the other side has nothing but such bishops. Marseillais: a bare king
// never mates; a lone bishop can (see insufficientMaterial), so no other
// material is called too little.
export function canMate(fen, side, variant) {
    const all = pieces(fen)
    const own = all.filter((p) => p.color === side)
    const theirs = all.filter((p) => p.color !== side)
    if (!own.length) return false
    if (variant !== "normal") return true
    if (own.length === 1 && "nb".includes(own[0].type) && !theirs.length) return false
    const shade = squareColor(own[0].square)
    const sameBishops = (list) => list.every((p) => p.type === "b" && squareColor(p.square) === shade)
    return !(sameBishops(own) && sameBishops(theirs))
}

// `side`'s time ran out in `fen`: the other side wins if it could still mate.
export function timeOut(side, fen, variant) {
    const text = `${colorName(side)}'s time ran out`
    if (!canMate(fen, other(side), variant)) {
        return {score: "1/2-1/2", text: `${text}; ${colorName(other(side))} cannot mate: draw`}
    }
    return {score: winFor(other(side)), text: `${text}: ${colorName(other(side))} wins`}
}

export const resignation = (side) => ({
    score: winFor(other(side)),
    text: `${colorName(side)} resigned: ${colorName(other(side))} wins`,
})

// Who won, for the banner's look: "w", "b" or null for a draw.
export const winner = (score) => ({"1-0": "w", "0-1": "b"})[score] ?? null
