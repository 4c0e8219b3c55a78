// The page's side of the xboard conversation with one quarn at a time, over
// either link (engine-link.js). Every fresh engine gets the same opening
// ("xboard", "protover 2", a ping whose answer ends the feature lines) before
// anything else. Questions are answered by "divide 1" (the legal moves or
// turns) or by a ping (the error lines printed before the pong).
import {createLink} from "./engine-link.js"

const ANSWER_MS = 10000 // an engine that does not answer a question within this time is replaced
const OPENING = ["xboard", "protover 2"]
const THINKING = /^(\d+) (-?\d+) (-?\d+) (\d+) ?(.*)$/
const DIVIDE_ENTRY = /^# (\S+?) *: \d+$/

// handlers: started(info), ready() (a fresh engine has had its opening),
// thinking({depth, score, time, nodes, pv}), move(word), died(why),
// hung(why), busy(text), notice(text), lost(text).
export class Engine {
    constructor(kind, handlers) {
        this.on = handlers
        this.waiters = []
        this.serial = 0
        this.draining = null
        this.alive = false
        this.then = null
        this.link = createLink(kind, {
            started: (info) => this.started(info),
            line: (text) => this.line(text),
            exit: (why) => this.ended(() => handlers.died(why)),
            busy: (text) => this.ended(() => handlers.busy(text)),
            notice: handlers.notice,
            lost: (text) => this.ended(() => handlers.lost(text)),
        })
        this.kind = this.link.kind
    }

    // Starts the engine; `then` runs after its opening instead of ready().
    start(then = null) {
        this.then = then
        this.link.start()
    }

    // Ends the engine (one that thinks cannot be interrupted) and starts a
    // fresh one; `then` runs after its opening instead of ready().
    restart(then = null) {
        this.then = then
        this.ended(() => this.link.restart())
    }

    // Gives the engine back (a hidden tab); start() takes one again.
    stop() {
        this.then = null
        this.ended(() => this.link.stop())
    }

    send(text) {
        this.link.send(text)
    }

    started(info) {
        this.alive = true
        this.reset(OPENING)
        this.on.started(info)
        const then = this.then
        this.then = null
        if (then) then()
        else this.on.ready()
    }

    ended(next) {
        this.alive = false
        this.dropQuestions()
        next()
    }

    dropQuestions() {
        for (const w of this.waiters) {
            clearTimeout(w.timer)
            w.reject(new Error("stale"))
        }
        this.waiters = []
    }

    // Drops the open questions and sends `commands`; everything the engine
    // prints until the pong of a ping sent after them is let go, so no answer
    // to an older question is taken for a newer one.
    reset(commands) {
        this.dropQuestions()
        this.draining = ++this.serial
        for (const line of [...commands, `ping ${this.draining}`]) this.send(line)
    }

    get answering() {
        return this.waiters.length > 0
    }

    // Sends `commands`, then asks: "divide" resolves with the legal list,
    // "ping" with the error lines printed before the pong.
    ask(commands, kind) {
        return new Promise((resolve, reject) => {
            if (!this.alive) {
                reject(new Error("no engine"))
                return
            }
            const id = ++this.serial
            const w = {kind, id, list: [], errors: [], resolve, reject}
            w.timer = setTimeout(() => this.on.hung(`quarn did not answer within ${ANSWER_MS / 1000} s`), ANSWER_MS)
            this.waiters.push(w)
            commands.forEach((c) => this.send(c))
            this.send(kind === "divide" ? "divide 1" : `ping ${id}`)
        })
    }

    answered(value) {
        const w = this.waiters.shift()
        clearTimeout(w.timer)
        w.resolve(value)
    }

    line(text) {
        if (this.draining !== null) {
            if (text === `pong ${this.draining}`) this.draining = null
            return
        }
        const think = THINKING.exec(text)
        if (think) {
            const [, depth, score, time, nodes, pv] = think
            this.on.thinking({depth: Number(depth), score: Number(score), time: Number(time), nodes: Number(nodes), pv})
            return
        }
        if (text.startsWith("move ")) {
            this.on.move(text.slice(5))
            return
        }
        const w = this.waiters[0]
        if (!w) {
            if (text.startsWith("Error")) this.on.notice(`quarn: ${text}`)
            return
        }
        if (text.startsWith("Error")) w.errors.push(text)
        else if (w.kind === "divide") {
            const entry = DIVIDE_ENTRY.exec(text)
            if (entry) w.list.push(entry[1])
            else if (text.startsWith("# perft(1) = ")) this.answered(w.list)
        } else if (text === `pong ${w.id}`) this.answered(w.errors)
    }
}
