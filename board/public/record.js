// The game record: settings, the turns in coordinate text, the clocks at the
// start of every turn, the time spent on the current one and the result.
// It is what the browser keeps (see tab-store.js); the positions are rebuilt
// from it.
import {Chess} from "chess.js"
import {START_FEN, afterTurn, sideOf} from "./positions.js"
import {LEVELS} from "./clock.js"

export function freshGame(settings) {
    const level = LEVELS[settings.level] || LEVELS.m5
    const clock = level.base * 1000
    return {
        variant: settings.variant === "marseillais" ? "marseillais" : "normal",
        human: settings.human === "b" ? "b" : "w",
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

// The game with its positions: positions[i] is the FEN before turns[i].
export class Record {
    constructor(game) {
        this.game = game
        this.positions = [game.startFen || START_FEN]
        for (let i = 0; i < game.turns.length; i++) {
            try {
                this.positions.push(afterTurn(this.positions[i], game.turns[i], game.variant))
            } catch {
                game.turns.length = i // a record this page cannot follow ends there
                game.clocks.length = i + 1
                break
            }
        }
    }

    get fen() {
        return this.positions[this.positions.length - 1]
    }

    sideOfTurn(i) {
        return sideOf(this.positions[i])
    }

    turnsBy(side) {
        return this.game.turns.filter((_, i) => this.sideOfTurn(i) === side).length
    }

    // The clocks now: the side to move has spent `spent` of the current turn.
    clocks(spent = this.game.spent) {
        const c = {...this.game.clocks[this.game.turns.length]}
        c[sideOf(this.fen)] -= spent
        return c
    }

    // Moves left in the side to move's control, this one included.
    movesLeft() {
        const mps = LEVELS[this.game.level].mps
        return mps - (this.turnsBy(sideOf(this.fen)) % mps)
    }

    // Ends the current turn: its time comes off the mover's clock, which gets
    // the next control's time after every `mps` of its turns.
    add(text) {
        const g = this.game
        const side = sideOf(this.fen)
        const level = LEVELS[g.level]
        const c = this.clocks()
        if ((this.turnsBy(side) + 1) % level.mps === 0) c[side] += level.base * 1000
        this.positions.push(afterTurn(this.fen, text, g.variant))
        g.turns.push(text)
        g.clocks.push(c)
        g.spent = 0
    }

    // Back to the start of turn `i`, with the clocks as they stood then.
    truncate(i) {
        this.game.turns.length = i
        this.game.clocks.length = i + 1
        this.positions.length = i + 1
        this.game.spent = 0
        this.game.result = null
    }
}
