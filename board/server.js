// quarn board: serves the page and relays protocol lines between one
// WebSocket and one quarn process per browser tab.
//
//   node server.js [--port N] [--host ADDR] [--engine PATH] [--ping-seconds S]
//
// --ping-seconds: how often each page is pinged; a page that has not
// answered one ping by the next is closed (default 30).
//
// Page -> server (JSON): {type: "line", text} one protocol command,
//                        {type: "restart"} end this tab's engine, start a fresh one.
// Server -> page (JSON): {type: "started", pid}, {type: "line", text},
//                        {type: "refused", text, reason}, {type: "exit", code, signal, error}
//                        (error: why an engine could not start),
//                        {type: "busy", text} (no engine free, or too many restarts).
import http from "node:http"
import crypto from "node:crypto"
import fs from "node:fs"
import net from "node:net"
import path from "node:path"
import {spawn} from "node:child_process"
import {fileURLToPath} from "node:url"
import {WebSocketServer} from "ws"

const here = path.dirname(fileURLToPath(import.meta.url))
// Bounds: each names what it protects.
export const MAX_ENGINES = 4             // engine processes alive at once, killed ones included
export const MAX_LINE = 255              // bytes (UTF-8) in a page line: the engine refuses a longer one
export const MAX_FRAME = 4096            // bytes in a WebSocket message from the page
export const MAX_URL = 2048              // characters in a request target
export const MAX_SOCKET_QUEUE = 256 * 1024 // bytes unsent to a page before its engine's output and its input pause
export const MAX_SOCKET_BACKLOG = 1024 * 1024 // bytes unsent to a page before it is closed (the server's memory)
export const MAX_ENGINE_QUEUE = 64 * 1024  // bytes unread by an engine before its page is closed (no page sends that much)
export const MAX_ENGINE_LINE = 16 * 1024   // characters in an engine line (a longer one is cut)
export const RESTARTS_PER_WINDOW = 4     // restarts a tab may ask for within RESTART_WINDOW_MS
export const RESTART_WINDOW_MS = 1000
export const PING_INTERVAL_MS = 30000    // a page that has not answered the last ping by the next is closed:
                                         // a gone or stalled page frees its engine
export const MAX_CONNECTIONS = 128       // sockets open at once (fewer when descriptors are scarce):
                                         // idle sockets cannot take the descriptors an engine needs
export const REQUEST_TIMEOUT_MS = 10000  // time a socket has to send a whole request: a silent one is closed
export const MAX_REQUESTS_PER_SOCKET = 100 // requests on one connection: answers cannot queue without end
const DESCRIPTORS_PER_ENGINE = 4         // pipes of one engine process, with a spare
const FLOW_POLL_MS = 50                  // how often a paused stream checks whether it may go on
const TIMEOUT_CHECK_MS = 1000            // how often unfinished requests are checked against their time
const DEFAULT_HTTP_PORT = 80             // the port a Host header without one names

const MOVE = "[a-h][1-8][a-h][1-8][nbrq]?"
// Time controls up to 180 minutes ("M", 0-180, or "M:SS": with increments a
// clock can pass its level's time), moves per control 0-40, an increment of 0-60 s.
const LEVEL = "level (?:[0-9]|[1-3][0-9]|40) (?:(?:[0-9]|[1-9][0-9]|1[0-7][0-9])(?::[0-5][0-9])?|180(?::00)?) " +
    "(?:[0-9]|[1-5][0-9]|60)"
// The only commands a page may send; everything else stays in the browser.
const ALLOWED = new RegExp("^(?:" + [
    "xboard", "protover 2", "new", "force", "go", "rand", "norand", "quit", "divide 1", "sd [1-9]",
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
    if (Buffer.byteLength(text, "utf8") > MAX_LINE) return "longer than 255 bytes"
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

// Every file the server serves, read once at start into memory (one copy
// that every response shares): URL path -> {data, type}. Only regular files
// with a known extension inside their folder (symbolic links resolved,
// hidden names skipped); the server is restarted to serve edited files.
function readFiles() {
    const files = new Map()
    for (const [prefix, folder] of FOLDERS) {
        let root
        try {
            root = fs.realpathSync(folder)
        } catch {
            continue // not installed
        }
        const seen = new Set()
        const walk = (dir, urlDir) => {
            const real = fs.realpathSync(dir)
            if (seen.has(real)) return
            seen.add(real)
            for (const name of fs.readdirSync(dir)) {
                if (name.startsWith(".")) continue
                try {
                    const file = fs.realpathSync(path.join(dir, name))
                    if (!file.startsWith(root + path.sep)) continue
                    const stat = fs.statSync(file)
                    const url = urlDir + name
                    if (stat.isDirectory()) walk(file, url + "/")
                    else if (stat.isFile() && TYPES[path.extname(name)] && !files.has(url)) {
                        files.set(url, {data: fs.readFileSync(file), type: TYPES[path.extname(name)]})
                    }
                } catch {} // vanished or unreadable: not served
            }
        }
        walk(root, prefix)
    }
    if (files.has("/index.html")) files.set("/", files.get("/index.html"))
    return files
}

// The page's policy: its scripts from its own origin (and the inline import
// map, by its hash), no framing by any page.
function securityHeaders(files) {
    const page = files.get("/")?.data.toString("utf8") ?? ""
    const hashes = [...page.matchAll(/<script(?![^>]*\bsrc=)[^>]*>([^]*?)<\/script>/g)]
        .map((m) => `'sha256-${crypto.createHash("sha256").update(m[1]).digest("base64")}'`)
    return {
        "content-security-policy": [
            "default-src 'self'", `script-src 'self' ${hashes.join(" ")}`.trim(),
            "style-src 'self' 'unsafe-inline'", // the board widget sets inline styles
            "img-src 'self' data:", "connect-src 'self'", "object-src 'none'", "base-uri 'none'",
            "form-action 'none'", "frame-ancestors 'none'",
        ].join("; "),
        "x-frame-options": "DENY",
        "x-content-type-options": "nosniff",
    }
}

function answer(res, status, headers = {}) {
    res.writeHead(status, {"content-type": "text/plain", ...headers}).end(`${http.STATUS_CODES[status]}\n`)
}

// Answers at once from memory: a response is written before the next
// pipelined request is read, so Node stops reading a socket whose client
// does not read its answers.
function serveFile(req, res, port, files, headers) {
    if (!ownHost(req.headers.host, port)) return answer(res, 403, headers)
    if (req.method !== "GET" && req.method !== "HEAD") return answer(res, 405, {...headers, allow: "GET, HEAD"})
    if (req.url.length > MAX_URL) return answer(res, 414, headers)
    let urlPath
    try {
        urlPath = decodeURIComponent(new URL(req.url, "http://localhost").pathname)
    } catch {
        return answer(res, 400, headers) // malformed percent-encoding
    }
    if (/[\u0000-\u001f\u007f\\]/.test(urlPath)) return answer(res, 400, headers)
    const found = files.get(urlPath)
    if (!found) return answer(res, 404, headers)
    res.writeHead(200, {...headers, "content-type": found.type, "cache-control": "no-cache", "content-length": found.data.length})
    res.end(req.method === "HEAD" ? undefined : found.data)
}

// One browser tab: its socket and the engine process it currently owns.
// A tab has at most one engine process alive: a restart kills the old one
// and starts the new one when the old one has exited. The data queued in
// either direction is bounded: the engine's output and the socket's input
// pause while the socket holds more than MAX_SOCKET_QUEUE bytes unsent, and
// the tab is closed (its engine ended) when its engine has more than
// MAX_ENGINE_QUEUE bytes unread, when more than MAX_SOCKET_BACKLOG bytes
// wait for the page, or when the page leaves a ping unanswered.
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
        this.answered = true  // the page has answered the last ping
        socket.on("message", (data) => this.fromPage(data))
        socket.on("ping", (data) => this.admit(() => socket.pong(data)))
        socket.on("pong", () => this.answered = true)
        socket.on("close", () => this.end())
        socket.on("error", () => this.end())
        this.startEngine()
    }

    // The one place where data for the page is admitted (messages, pings,
    // pongs): a page that lets MAX_SOCKET_BACKLOG bytes pile up is closed.
    admit(write) {
        if (this.ended || this.socket.readyState !== this.socket.OPEN) return
        if (this.socket.bufferedAmount > MAX_SOCKET_BACKLOG) return this.close()
        write()
        this.flow()
    }

    send(message) {
        this.admit(() => this.socket.send(JSON.stringify(message)))
    }

    // Called every PING_INTERVAL_MS: a page that has not answered the last
    // ping is gone (or stopped reading) and is closed.
    heartbeat() {
        if (!this.answered) return this.close()
        this.answered = false
        this.admit(() => this.socket.ping())
    }

    close() {
        this.socket.terminate()
        this.end()
    }

    startEngine() {
        if (this.running) {
            this.wantEngine = true // when the old process has exited
            return
        }
        this.wantEngine = false
        let child
        try {
            child = spawn(this.enginePath, [], {stdio: ["pipe", "pipe", "ignore"]})
        } catch (err) {
            this.send({type: "exit", code: null, signal: null, error: err.message})
            return
        }
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
        child.on("error", (err) => {
            report({type: "exit", code: null, signal: null, error: err.message})
            if (!child.pid) exit() // never started
        })
        // Without pipes (no descriptors left, EMFILE) the spawn has failed:
        // its error event reports it to the page.
        if (!child.stdin || !child.stdout) return
        child.stdin.on("error", () => {})
        child.stdout.on("error", () => {})
        child.stdout.setEncoding("utf8")
        child.stdout.on("data", (chunk) => this.fromEngine(child, chunk))
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
        } else if (this.child?.stdin) {
            this.child.stdin.write(text + "\n")
            if (this.child.stdin.writableLength > MAX_ENGINE_QUEUE) return this.close()
        }
        this.flow()
    }

    // Pauses or resumes the engine's output and the socket's input by the
    // size of the socket's queue; while paused, checks again every FLOW_POLL_MS.
    flow() {
        if (this.ended) return
        const full = this.socket.bufferedAmount > MAX_SOCKET_QUEUE
        if (this.child?.stdout && full !== this.paused.engine) {
            if (full) this.child.stdout.pause()
            else this.child.stdout.resume()
            this.paused.engine = full
        }
        if (full !== this.paused.socket) {
            this.paused.socket = full
            if (full) this.socket.pause()
            else this.socket.resume()
        }
        if (full && !this.poll) this.poll = setInterval(() => this.flow(), FLOW_POLL_MS)
        if (!full && this.poll) {
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

// Answers a request that gets no page or socket and closes the connection
// once the answer is written: the client's side is not waited for.
function refuseSocket(socket, status) {
    if (!socket.writable) return socket.destroy()
    socket.end(`HTTP/1.1 ${status} ${http.STATUS_CODES[status]}\r\nConnection: close\r\n\r\n`, () => socket.destroy())
}

// The soft limit on open descriptors (Linux), or Infinity where unknown.
function descriptorLimit() {
    try {
        const soft = /^Max open files\s+(\d+)/m.exec(fs.readFileSync("/proc/self/limits", "utf8"))?.[1]
        return soft ? Number(soft) : Infinity
    } catch {
        return Infinity
    }
}

// Connections accepted at once: MAX_CONNECTIONS, or half of the descriptors
// left after those open now and the engines' pipes, whichever is fewer, so
// that idle connections never take the descriptors an engine needs.
function connectionCap(maxEngines) {
    let open = 0
    try {
        open = fs.readdirSync("/proc/self/fd").length
    } catch {}
    const spare = descriptorLimit() - open - maxEngines * DESCRIPTORS_PER_ENGINE
    return Math.max(1, Math.min(MAX_CONNECTIONS, Math.floor(spare / 2)))
}

export function startServer({port = 8080, host = "127.0.0.1", enginePath, maxEngines = MAX_ENGINES,
    pingInterval = PING_INTERVAL_MS} = {}) {
    // Sessions hold an engine slot until their socket has closed and their
    // engine process has exited.
    const sessions = new Set()
    const files = readFiles()
    const headers = securityHeaders(files)
    const ownPort = () => server.address().port
    const server = http.createServer({
        headersTimeout: REQUEST_TIMEOUT_MS,
        requestTimeout: REQUEST_TIMEOUT_MS,
        connectionsCheckingInterval: TIMEOUT_CHECK_MS,
    }, (req, res) => serveFile(req, res, ownPort(), files, headers))
    server.maxConnections = connectionCap(maxEngines)
    server.maxRequestsPerSocket = MAX_REQUESTS_PER_SOCKET
    // Requests Node cannot parse (bad request line, oversized headers ...)
    // or that took too long.
    const STATUS = {HPE_HEADER_OVERFLOW: 431, ERR_HTTP_REQUEST_TIMEOUT: 408}
    server.on("clientError", (err, socket) => refuseSocket(socket, STATUS[err.code] ?? 400))
    // Pongs go through the session's own output bound.
    const wss = new WebSocketServer({noServer: true, maxPayload: MAX_FRAME, autoPong: false})
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
                    text: `Other tabs of this board hold all ${maxEngines} engines. ` +
                        "Closing one of those tabs frees its engine; then reload this page.",
                }))
                ws.close(1013, "busy")
                return
            }
            sessions.add(new Session(ws, enginePath, (s) => sessions.delete(s)))
        })
    })
    const heartbeat = setInterval(() => {
        for (const s of sessions) if (!s.ended) s.heartbeat()
    }, pingInterval)
    heartbeat.unref()
    return new Promise((resolve, reject) => {
        server.once("error", reject)
        server.listen(port, host, () => {
            const address = server.address()
            resolve({
                url: `http://${host.includes(":") ? `[${host}]` : host}:${address.port}/`,
                port: address.port,
                sessions,
                close() {
                    clearInterval(heartbeat)
                    for (const s of sessions) s.close()
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
    const pingInterval = Number(argValue(args, "--ping-seconds", String(PING_INTERVAL_MS / 1000))) * 1000
    if (!Number.isInteger(port) || port < 0 || port > 65535) {
        console.error(`bad port: ${argValue(args, "--port")}`)
        process.exit(2)
    }
    if (!fs.existsSync(enginePath)) {
        console.error(`engine not found: ${enginePath}`)
        process.exit(2)
    }
    if (!(pingInterval > 0)) {
        console.error(`bad ping interval: ${argValue(args, "--ping-seconds")}`)
        process.exit(2)
    }
    startServer({port, host, enginePath, pingInterval}).then((board) => {
        console.log(`quarn board: open ${board.url}   (engine ${enginePath}; Ctrl-C stops)`)
        const stop = () => board.close().then(() => process.exit(0))
        process.on("SIGINT", stop)
        process.on("SIGTERM", stop)
    }, (err) => {
        console.error(`cannot listen on ${host}:${port}: ${err.message}`)
        process.exit(1)
    })
}
