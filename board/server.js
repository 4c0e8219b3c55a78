// quarn board: serves the page and relays protocol lines between one
// WebSocket and one quarn process per browser tab.
//
//   node server.js [--port N] [--host ADDR] [--engine PATH]
//
// Page -> server (JSON): {type: "line", text} one protocol command,
//                        {type: "restart"} end this tab's engine, start a fresh one.
// Server -> page (JSON): {type: "started", pid}, {type: "line", text},
//                        {type: "refused", text, reason}, {type: "exit", code, signal},
//                        {type: "busy", text} (no engine free, or too many restarts).
import http from "node:http"
import fs from "node:fs"
import net from "node:net"
import path from "node:path"
import {spawn} from "node:child_process"
import {fileURLToPath} from "node:url"
import {WebSocketServer} from "ws"

const here = path.dirname(fileURLToPath(import.meta.url))
export const MAX_ENGINES = 4             // engine processes alive at once, killed ones included
export const MAX_LINE = 255              // characters in a page line
export const MAX_FRAME = 4096            // bytes in a WebSocket message from the page
export const MAX_URL = 2048              // characters in a request target
export const MAX_SOCKET_QUEUE = 256 * 1024 // bytes queued for a page before its engine's output is paused
export const MAX_ENGINE_QUEUE = 64 * 1024  // bytes queued for an engine before its page's socket is paused
export const MAX_ENGINE_LINE = 16 * 1024   // characters in an engine line (a longer one is cut)
export const RESTARTS_PER_WINDOW = 4     // restarts a tab may ask for within RESTART_WINDOW_MS
export const RESTART_WINDOW_MS = 1000
const FLOW_POLL_MS = 50                  // how often a paused stream checks whether it may go on
const DEFAULT_HTTP_PORT = 80             // the port a Host header without one names

const MOVE = "[a-h][1-8][a-h][1-8][nbrq]?"
// Time controls up to 15 minutes: "M" (0-15) or "M:SS", moves per control 0-40, no increment.
const LEVEL = "level (?:[0-9]|[1-3][0-9]|40) (?:(?:[0-9]|1[0-4])(?::[0-5][0-9])?|15(?::00)?) 0"
// The only commands a page may send; everything else stays in the browser.
const ALLOWED = new RegExp("^(?:" + [
    "xboard", "protover 2", "new", "force", "go", "rand", "norand", "quit", "divide 1",
    "variant (?:normal|marseillais|multi)",
    LEVEL,
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

// Whether a Host header names this server as a page on this machine does:
// an IP literal (IPv6 in brackets) or "localhost", with the server's port.
// A name that a foreign site could rebind to 127.0.0.1 is refused.
export function ownHost(host, port) {
    const m = /^(?:\[([0-9a-f:.]+)\]|([0-9.]+)|(localhost))(?::(\d{1,5}))?$/i.exec(host || "")
    if (!m || (m[1] !== undefined && !net.isIPv6(m[1])) || (m[2] !== undefined && !net.isIPv4(m[2]))) return false
    return Number(m[4] ?? DEFAULT_HTTP_PORT) === port
}

// Files are served from these folders, found by the first prefix that
// matches (the most specific come first); "/" is the page itself.
const FOLDERS = [
    ["/vendor/chess.js/", path.join(here, "node_modules", "chess.js", "dist", "esm")],
    ["/vendor/cm-chessboard/", path.join(here, "node_modules", "cm-chessboard")],
    ["/", path.join(here, "public")],
]
const TYPES = {
    ".html": "text/html", ".js": "text/javascript", ".css": "text/css", ".svg": "image/svg+xml",
    ".ico": "image/x-icon", ".png": "image/png", ".json": "application/json",
    ".webmanifest": "application/manifest+json",
}

// The regular file a URL path names inside its folder (symbolic links
// resolved, hidden names and other extensions refused), or null.
async function resolveFile(urlPath) {
    const [prefix, folder] = FOLDERS.find(([p]) => urlPath.startsWith(p))
    const rest = urlPath === "/" ? "index.html" : urlPath.slice(prefix.length)
    if (!TYPES[path.extname(rest)] || rest.split("/").some((part) => part.startsWith("."))) return null
    try {
        const root = await fs.promises.realpath(folder)
        const file = await fs.promises.realpath(path.join(folder, rest))
        const stat = await fs.promises.stat(file)
        return stat.isFile() && file.startsWith(root + path.sep) ? {file, size: stat.size, type: TYPES[path.extname(rest)]} : null
    } catch {
        return null
    }
}

function answer(res, status, headers = {}) {
    res.writeHead(status, {"content-type": "text/plain", ...headers}).end(`${http.STATUS_CODES[status]}\n`)
}

async function serveFile(req, res, port) {
    if (!ownHost(req.headers.host, port)) return answer(res, 403)
    if (req.method !== "GET" && req.method !== "HEAD") return answer(res, 405, {allow: "GET, HEAD"})
    if (req.url.length > MAX_URL) return answer(res, 414)
    let urlPath
    try {
        urlPath = decodeURIComponent(new URL(req.url, "http://localhost").pathname)
    } catch {
        return answer(res, 400) // malformed percent-encoding
    }
    if (/[\u0000-\u001f\u007f\\]/.test(urlPath)) return answer(res, 400)
    const found = await resolveFile(urlPath)
    if (!found) return answer(res, 404)
    const headers = {"content-type": found.type, "cache-control": "no-cache", "x-content-type-options": "nosniff"}
    if (req.method === "HEAD") return res.writeHead(200, {...headers, "content-length": found.size}).end()
    const data = await fs.promises.readFile(found.file)
    res.writeHead(200, {...headers, "content-length": data.length}).end(data)
}

// One browser tab: its socket and the engine process it currently owns.
// A tab has at most one engine process alive: a restart kills the old one
// and starts the new one when the old one has exited. The data queued in
// either direction is bounded: the engine's output is paused while the
// socket holds more than MAX_SOCKET_QUEUE bytes unsent, and the socket is
// not read while the engine has more than MAX_ENGINE_QUEUE bytes unread (or
// the socket's own queue is full).
class Session {
    constructor(socket, enginePath, onEnd) {
        this.socket = socket
        this.enginePath = enginePath
        this.onEnd = onEnd
        this.child = null     // the engine the page talks to
        this.running = null   // the engine process alive, killed or not
        this.wantEngine = false
        this.restarts = []    // times of the restarts within the last window
        this.paused = {engine: false, socket: false}
        this.poll = null
        socket.on("message", (data) => this.fromPage(data))
        socket.on("close", () => this.end())
        socket.on("error", () => this.end())
        this.startEngine()
    }

    send(message) {
        if (this.socket.readyState === this.socket.OPEN) this.socket.send(JSON.stringify(message))
    }

    startEngine() {
        if (this.running) {
            this.wantEngine = true // when the old process has exited
            return
        }
        this.wantEngine = false
        const child = spawn(this.enginePath, [], {stdio: ["pipe", "pipe", "ignore"]})
        this.child = this.running = child
        this.partial = ""
        let exited = false
        let reported = false
        const exit = () => {
            if (exited) return
            exited = true
            this.running = null
            if (this.ended) this.onEnd(this)
            else if (this.wantEngine) this.startEngine()
        }
        const report = (message) => {
            if (reported || this.child !== child) return
            reported = true
            if (this.partial) this.send({type: "line", text: this.partial})
            this.child = null
            this.send(message)
        }
        child.stdin.on("error", () => {})
        child.stdout.on("error", () => {})
        child.stdout.setEncoding("utf8")
        child.stdout.on("data", (chunk) => this.fromEngine(child, chunk))
        child.on("error", (err) => {
            report({type: "exit", code: null, signal: null, error: err.message})
            if (!child.pid) exit() // never started
        })
        child.on("exit", exit)
        child.on("close", (code, signal) => report({type: "exit", code, signal}))
        if (child.pid) this.send({type: "started", pid: child.pid})
        this.paused.engine = false
        this.flow()
    }

    killEngine() {
        this.child = null
        if (!this.running) return
        this.running.stdout?.resume() // its last output is dropped, not held
        this.running.kill("SIGKILL")
    }

    restart() {
        const now = Date.now()
        this.restarts = this.restarts.filter((t) => now - t < RESTART_WINDOW_MS)
        if (this.restarts.length >= RESTARTS_PER_WINDOW) {
            this.send({
                type: "busy",
                text: `Too many engine restarts from this tab (at most ${RESTARTS_PER_WINDOW} a second). ` +
                    "Wait a moment and reload this page.",
            })
            return
        }
        this.restarts.push(now)
        this.killEngine()
        this.startEngine()
    }

    fromEngine(child, chunk) {
        if (this.child !== child) return
        const lines = (this.partial + chunk).split("\n")
        this.partial = lines.pop()
        if (this.partial.length > MAX_ENGINE_LINE) {
            lines.push(this.partial)
            this.partial = ""
        }
        for (const text of lines) this.send({type: "line", text: text.slice(0, MAX_ENGINE_LINE).replace(/\r$/, "")})
        this.flow()
    }

    fromPage(data) {
        let message
        try {
            message = JSON.parse(data.toString())
        } catch {
            message = null
        }
        if (message && message.type === "restart") {
            this.restart()
            return
        }
        const text = message && message.type === "line" ? message.text : undefined
        const reason = refusal(text)
        if (reason) {
            this.send({type: "refused", text: typeof text === "string" ? text.slice(0, 80) : "", reason})
        } else if (this.child) {
            this.child.stdin.write(text + "\n")
        }
        this.flow()
    }

    // Pauses or resumes the engine's output and the socket's input by the
    // queues' sizes; while either is paused, checks again every FLOW_POLL_MS.
    flow() {
        if (this.ended) return
        const socketFull = this.socket.bufferedAmount > MAX_SOCKET_QUEUE
        const engineFull = Boolean(this.child?.stdin) && this.child.stdin.writableLength > MAX_ENGINE_QUEUE
        if (this.child?.stdout && socketFull !== this.paused.engine) {
            if (socketFull) this.child.stdout.pause()
            else this.child.stdout.resume()
            this.paused.engine = socketFull
        }
        if ((socketFull || engineFull) !== this.paused.socket) {
            this.paused.socket = socketFull || engineFull
            if (this.paused.socket) this.socket.pause()
            else this.socket.resume()
        }
        const waiting = this.paused.engine || this.paused.socket
        if (waiting && !this.poll) this.poll = setInterval(() => this.flow(), FLOW_POLL_MS)
        if (!waiting && this.poll) {
            clearInterval(this.poll)
            this.poll = null
        }
    }

    end() {
        if (this.ended) return
        this.ended = true
        clearInterval(this.poll)
        this.killEngine()
        this.wantEngine = false
        if (!this.running) this.onEnd(this)
    }
}

// Only this page's own WebSocket: the path /ws, from no other website.
function sameOriginSocket(req) {
    try {
        const origin = req.headers.origin
        return new URL(req.url, "http://localhost").pathname === "/ws" &&
            (!origin || new URL(origin).host === req.headers.host.toLowerCase())
    } catch {
        return false  // a malformed URL or Origin header
    }
}

function refuseSocket(socket, status) {
    if (socket.writable) socket.end(`HTTP/1.1 ${status} ${http.STATUS_CODES[status]}\r\nConnection: close\r\n\r\n`)
    else socket.destroy()
}

export function startServer({port = 8080, host = "127.0.0.1", enginePath, maxEngines = MAX_ENGINES} = {}) {
    // Sessions hold an engine slot until their socket has closed and their
    // engine process has exited.
    const sessions = new Set()
    const ownPort = () => server.address().port
    const server = http.createServer((req, res) => {
        serveFile(req, res, ownPort()).catch(() => {
            if (res.headersSent) res.destroy()
            else answer(res, 500)
        })
    })
    // Requests Node cannot parse (bad request line, oversized headers ...).
    server.on("clientError", (err, socket) => refuseSocket(socket, err.code === "HPE_HEADER_OVERFLOW" ? 431 : 400))
    const wss = new WebSocketServer({noServer: true, maxPayload: MAX_FRAME})
    server.on("upgrade", (req, socket, head) => {
        socket.on("error", () => socket.destroy())
        if (!ownHost(req.headers.host, ownPort()) || !sameOriginSocket(req)) {
            refuseSocket(socket, 403)
            return
        }
        wss.handleUpgrade(req, socket, head, (ws) => {
            if (sessions.size >= maxEngines) {
                ws.on("error", () => {})
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
                url: `http://${host.includes(":") ? `[${host}]` : host}:${address.port}/`,
                port: address.port,
                sessions,
                close() {
                    for (const s of sessions) {
                        s.socket.terminate()
                        s.end()
                    }
                    wss.close()
                    server.closeAllConnections?.()
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
