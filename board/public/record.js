// The game record: settings, the turns in coordinate text, the clocks at the
// start of every turn, the time spent on the current one and the result.
// It is what the browser keeps (see tab-store.js); the positions are rebuilt
// from it. Everything here is pure: the caller owns the objects it passes.
import {Chess} from "chess.js"
import {START_FEN, afterTurn, sideOf} from "./positions.js"
import {LEVELS} from "./clock.js"

export function freshGame(settings) {
    const level = LEVELS[settings.level] || LEVELS.m5
    const clock = level.base * 1000
    return {
        variant: settings.variant === "marseillais" ? "marseillais" : "normal",
        human: ["b", "both"].includes(settings.human) ? settings.human : "w",
        level: LEVELS[settings.level] ? settings.level : "m5",
        random: !!settings.random,
        startFen: settings.startFen || null, turns: [], clocks: [{w: clock, b: clock}], spent: 0, result: null,
        flipped: !!settings.flipped,
    }
}

// A stored record as the page can use it, or null.
export function checkGame(g) {
    try {
        if (g && Array.isArray(g.turns) && g.turns.every((t) => typeof t === "string") && Array.isArray(g.clocks) &&
            g.clocks.length === g.turns.length + 1 && LEVELS[g.level] && new Chess(g.startFen || START_FEN)) return g
    } catch {
        // a damaged record is not used
    }
    return null
}

// positions[i] is the FEN before turns[i]; a record this page cannot follow
// is cut where it stops making sense.
export function positionsOf(game) {
    const positions = [game.startFen || START_FEN]
    for (let i = 0; i < game.turns.length; i++) {
        try {
            positions.push(afterTurn(positions[i], game.turns[i], game.variant))
        } catch {
            game.turns.length = i
            game.clocks.length = i + 1
            break
        }
    }
    return positions
}

export const copyGame = (g) => ({...g, turns: [...g.turns], clocks: g.clocks.map((c) => ({...c}))})

export const turnsBy = (positions, game, side) => game.turns.filter((_, i) => sideOf(positions[i]) === side).length

// The clocks now: the side to move has spent `spent` of the current turn.
export function clocksOf(game, positions, spent = game.spent) {
    const c = {...game.clocks[game.turns.length]}
    c[sideOf(positions.at(-1))] -= spent
    return c
}

// Moves left in the side to move's control, this one included (0: the rest of the game).
export function movesLeft(game, positions) {
    const mps = LEVELS[game.level].mps
    return mps ? mps - (turnsBy(positions, game, sideOf(positions.at(-1))) % mps) : 0
}

// Ends the current turn: its time comes off the mover's clock, which gets
// the increment, and the next control's time after every `mps` of its turns.
export function addTurn(game, positions, text) {
    const side = sideOf(positions.at(-1))
    const level = LEVELS[game.level]
    const c = clocksOf(game, positions)
    if (level.mps && (turnsBy(positions, game, side) + 1) % level.mps === 0) c[side] += level.base * 1000
    c[side] += (level.inc ?? 0) * 1000
    positions.push(afterTurn(positions.at(-1), text, game.variant))
    game.turns.push(text)
    game.clocks.push(c)
    game.spent = 0
}

// Back to the start of turn `i`, with the clocks as they stood then.
export function truncate(game, positions, i) {
    game.turns.length = i
    game.clocks.length = i + 1
    positions.length = i + 1
    game.spent = 0
    game.result = null
}
