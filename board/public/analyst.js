// The analysis engine: a second engine link, started for a position and ended
// to stop its search (the engine reads no input while it searches). Its lines
// go to the flow as analysis events carrying the position's number.
import {Engine} from "./engine.js"

const ANALYSIS_DELAY_MS = 300 // a new position is analysed once the person has stayed on it this long

export class Analyst {
    constructor(kind, dispatch) {
        this.kind = kind
        this.dispatch = dispatch
        this.engine = null
        this.up = false
        this.timer = null
        this.gen = 0
    }

    // Analyses the position that `lines` set up; a fresh position waits for
    // the person to stay on it, a game review's next position starts at once.
    start({gen, lines, fresh}) {
        clearTimeout(this.timer)
        const go = () => {
            this.gen = gen
            if (fresh || !this.up) {
                this.end()
                this.up = true
                this.link().start(() => lines.forEach((l) => this.engine.send(l)))
            } else lines.forEach((l) => this.engine.send(l))
        }
        if (fresh) this.timer = setTimeout(go, ANALYSIS_DELAY_MS)
        else go()
    }

    stop() {
        clearTimeout(this.timer)
        this.end()
    }

    end() {
        if (this.up) this.engine.stop()
        this.up = false
    }

    link() {
        if (this.engine) return this.engine
        const to = (make) => (arg) => this.dispatch({...make(arg), gen: this.gen})
        const ignore = () => {}
        this.engine = new Engine(this.kind, {
            started: ignore, ready: ignore, notice: ignore, hung: ignore,
            thinking: to((info) => ({type: "analysis-info", info})),
            move: to((word) => ({type: "analysis-move", word})),
            died: to((why) => ({type: "analysis-ended", why})),
            busy: to((text) => ({type: "analysis-busy", text})),
            lost: to((text) => ({type: "analysis-busy", text})),
        })
        return this.engine
    }
}
