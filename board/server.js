// quarn board: serves the page and relays protocol lines between one
// WebSocket and one quarn process per browser tab.
//
//   node server.js [--port N] [--host ADDR] [--engine PATH]
//
// Page -> server (JSON): {type: "line", text} one protocol command,
//                        {type: "restart"} end this tab's engine, start a fresh one.
// Server -> page (JSON): {type: "started", pid}, {type: "line", text},
//                        {type: "refused", text, reason}, {type: "exit", code, signal},
//                        {type: "busy", text}.
import http from "node:http"
import fs from "node:fs"
import path from "node:path"
import readline from "node:readline"
import {spawn} from "node:child_process"
import {fileURLToPath} from "node:url"
import {WebSocketServer} from "ws"

const here = path.dirname(fileURLToPath(import.meta.url))
export const MAX_ENGINES = 4
export const MAX_LINE = 255

const MOVE = "[a-h][1-8][a-h][1-8][nbrq]?"
// The only commands a page may send; everything else stays in the browser.
const ALLOWED = new RegExp("^(?:" + [
    "xboard", "protover 2", "new", "force", "go", "rand", "norand", "quit", "divide 1",
    "variant (?:normal|marseillais|multi)",
    "level \\d{1,4} \\d{1,4}(?::\\d{1,2})? \\d{1,4}",
    "setboard [A-Za-z0-9/ -]+",
    "ping \\d{1,9}",
    "result (?:1-0|0-1|1/2-1/2|\\*)(?: \\{[^{}]*\\})?",
    `${MOVE}(?:,${MOVE})?`,
].join("|") + ")$")

// Why a page line is not forwarded, or null when it may go to the engine.
export function refusal(text) {
    if (typeof text !== "string") return "not text"
    if (text.length > MAX_LINE) return "longer than 255 characters"
    if (/[\u0000-\u001f\u007f]/.test(text)) return "control character"
    if (!ALLOWED.test(text)) return "not an allowed command"
    return null
}

const STATIC = {"/": path.join(here, "public", "index.html")}
for (const name of ["app.js", "style.css", "favicon.svg", "site-config.js", "engine-link.js", "engine.js", "view.js",
    "positions.js", "notation.js", "adjudicate.js", "clock.js", "record.js", "tab-store.js"]) {
    STATIC["/" + name] = path.join(here, "public", name)
}
const VENDOR = {
    "/vendor/chess.js/": path.join(here, "node_modules", "chess.js", "dist", "esm"),
    "/vendor/cm-chessboard/": path.join(here, "node_modules", "cm-chessboard"),
}
const TYPES = {".html": "text/html", ".js": "text/javascript", ".css": "text/css", ".svg": "image/svg+xml"}

function resolveFile(urlPath) {
    if (STATIC[urlPath]) return STATIC[urlPath]
    for (const [prefix, dir] of Object.entries(VENDOR)) {
        if (!urlPath.startsWith(prefix)) continue
        const file = path.resolve(dir, "." + urlPath.slice(prefix.length - 1))
        return file.startsWith(dir + path.sep) ? file : null
    }
    return null
}

function serveFile(req, res) {
    let urlPath
    try {
        urlPath = decodeURIComponent(new URL(req.url, "http://localhost").pathname)
    } catch {
        urlPath = ""
    }
    const file = resolveFile(urlPath)
    const type = file && TYPES[path.extname(file)]
    if (!type || req.method !== "GET") {
        res.writeHead(404, {"content-type": "text/plain"}).end("not found\n")
        return
    }
    fs.readFile(file, (err, data) => {
        if (err) res.writeHead(404, {"content-type": "text/plain"}).end("not found\n")
        else res.writeHead(200, {"content-type": type, "cache-control": "no-cache"}).end(data)
    })
}

// One browser tab: its socket and the engine process it currently owns.
class Session {
    constructor(socket, enginePath, onEnd) {
        this.socket = socket
        this.enginePath = enginePath
        this.onEnd = onEnd
        this.child = null
        socket.on("message", (data) => this.fromPage(data))
        socket.on("close", () => this.end())
        socket.on("error", () => this.end())
        this.startEngine()
    }

    send(message) {
        if (this.socket.readyState === this.socket.OPEN) this.socket.send(JSON.stringify(message))
    }

    startEngine() {
        const child = spawn(this.enginePath, [], {stdio: ["pipe", "pipe", "ignore"]})
        this.child = child
        child.stdin.on("error", () => {})
        child.on("error", (err) => {
            if (this.child === child) this.send({type: "exit", code: null, signal: null, error: err.message})
        })
        readline.createInterface({input: child.stdout}).on("line", (text) => {
            if (this.child === child) this.send({type: "line", text})
        })
        child.on("exit", (code, signal) => {
            if (this.child !== child) return
            this.child = null
            this.send({type: "exit", code, signal})
        })
        if (child.pid) this.send({type: "started", pid: child.pid})
    }

    killEngine() {
        const child = this.child
        this.child = null
        if (child && child.exitCode === null && child.signalCode === null) child.kill("SIGKILL")
    }

    fromPage(data) {
        let message
        try {
            message = JSON.parse(data.toString())
        } catch {
            message = null
        }
        if (message && message.type === "restart") {
            this.killEngine()
            this.startEngine()
            return
        }
        const text = message && message.type === "line" ? message.text : undefined
        const reason = refusal(text)
        if (reason) {
            this.send({type: "refused", text: typeof text === "string" ? text.slice(0, 80) : "", reason})
        } else if (this.child) {
            this.child.stdin.write(text + "\n")
        }
    }

    end() {
        if (this.ended) return
        this.ended = true
        this.killEngine()
        this.onEnd(this)
    }
}

// Only this page's own WebSocket: the path /ws, from no other website.
function sameOriginSocket(req) {
    try {
        const origin = req.headers.origin
        return new URL(req.url, "http://localhost").pathname === "/ws" &&
            (!origin || new URL(origin).host === req.headers.host)
    } catch {
        return false  // a malformed URL or Origin header
    }
}

export function startServer({port = 8080, host = "127.0.0.1", enginePath, maxEngines = MAX_ENGINES} = {}) {
    const sessions = new Set()
    const server = http.createServer(serveFile)
    const wss = new WebSocketServer({noServer: true, maxPayload: 4096})
    server.on("upgrade", (req, socket, head) => {
        if (!sameOriginSocket(req)) {
            socket.destroy()
            return
        }
        wss.handleUpgrade(req, socket, head, (ws) => {
            if (sessions.size >= maxEngines) {
                ws.send(JSON.stringify({
                    type: "busy",
                    text: `All ${maxEngines} engines are busy with other board tabs. Close one of them and reload this page.`,
                }))
                ws.close(1013, "busy")
                return
            }
            sessions.add(new Session(ws, enginePath, (s) => sessions.delete(s)))
        })
    })
    return new Promise((resolve, reject) => {
        server.once("error", reject)
        server.listen(port, host, () => {
            const address = server.address()
            resolve({
                url: `http://${host}:${address.port}/`,
                port: address.port,
                sessions,
                close() {
                    for (const s of sessions) {
                        s.socket.terminate()
                        s.end()
                    }
                    wss.close()
                    return new Promise((done) => server.close(done))
                },
            })
        })
    })
}

function argValue(args, name, fallback) {
    const i = args.indexOf(name)
    return i >= 0 && i + 1 < args.length ? args[i + 1] : fallback
}

if (process.argv[1] && path.resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
    const args = process.argv.slice(2)
    const enginePath = path.resolve(argValue(args, "--engine",
        process.env.QUARN_ENGINE || path.join(here, "..", "build", "quarn")))
    const port = Number(argValue(args, "--port", "8080"))
    const host = argValue(args, "--host", "127.0.0.1")
    if (!Number.isInteger(port) || port < 0 || port > 65535) {
        console.error(`bad port: ${argValue(args, "--port")}`)
        process.exit(2)
    }
    if (!fs.existsSync(enginePath)) {
        console.error(`engine not found: ${enginePath}`)
        process.exit(2)
    }
    startServer({port, host, enginePath}).then((board) => {
        console.log(`quarn board: open ${board.url}   (engine ${enginePath}; Ctrl-C stops)`)
        const stop = () => board.close().then(() => process.exit(0))
        process.on("SIGINT", stop)
        process.on("SIGTERM", stop)
    }, (err) => {
        console.error(`cannot listen on ${host}:${port}: ${err.message}`)
        process.exit(1)
    })
}
