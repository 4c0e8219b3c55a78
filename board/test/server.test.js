// The board server in a process of its own (BOARD_SERVER, default server.js)
// against the real engine (QUARN_ENGINE, default build/quarn): the relay, and
// hostile requests, floods and restart bursts.
import {test, before, after} from "node:test"
import assert from "node:assert/strict"
import {spawn} from "node:child_process"
import fs from "node:fs"
import net from "node:net"
import path from "node:path"
import {fileURLToPath} from "node:url"
import WebSocket from "ws"

const board = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "..")
const enginePath = path.resolve(board, "..", process.env.QUARN_ENGINE || "build/quarn")
const WAIT_MS = 20000
const MAX_ENGINES = 4
const PEAK_MB = 120 // the server's peak resident memory during a flood stays below this
const sleep = (ms) => new Promise((r) => setTimeout(r, ms))
let server, port

before(async () => {
    server = spawn(process.execPath, [path.resolve(board, process.env.BOARD_SERVER || "server.js"),
        "--port", "0", "--engine", enginePath], {stdio: ["ignore", "pipe", "inherit"]})
    port = await new Promise((resolve) => server.stdout.once("data", (d) => resolve(Number(/:(\d+)\//.exec(d)[1]))))
})
after(() => server.kill())

// A test client: every message kept in order; wait() looks from a cursor on.
async function connect() {
    const ws = new WebSocket(`ws://127.0.0.1:${port}/ws`)
    const client = {ws, messages: [], seen: 0, waiters: []}
    const check = () => client.waiters = client.waiters.filter((w) => !w())
    ws.on("message", (data) => {
        client.messages.push(JSON.parse(data.toString()))
        check()
    })
    client.closed = new Promise((resolve) => ws.on("close", resolve))
    client.send = (text) => ws.send(JSON.stringify({type: "line", text}))
    client.wait = (pred, what) => new Promise((resolve, reject) => {
        const timer = setTimeout(() => reject(new Error(`timed out waiting for ${what}: ${JSON.stringify(client.messages.slice(client.seen)).slice(0, 400)}`)), WAIT_MS)
        const w = () => {
            const i = client.messages.findIndex((m, k) => k >= client.seen && pred(m))
            if (i < 0) return false
            client.seen = i + 1
            clearTimeout(timer)
            resolve(client.messages[i])
            return true
        }
        if (!w()) client.waiters.push(w)
    })
    client.line = (pattern) => client.wait((m) => m.type === "line" && pattern.test(m.text), String(pattern))
    client.pong = async (n) => {
        client.send(`ping ${n}`)
        await client.line(new RegExp(`^pong ${n}$`))
    }
    await new Promise((resolve, reject) => ws.once("open", resolve).once("error", reject))
    const first = await client.wait((m) => m.type === "started" || m.type === "busy", "start")
    if (first.type === "started") client.send("xboard") // no prompts from here on
    client.pid = first.pid
    return client
}

// Sends raw bytes; resolves with the whole answer once the server closes
// (or, for a switch to a WebSocket, once its head is in); "" if none.
function raw(request) {
    return new Promise((resolve) => {
        let data = ""
        const socket = net.connect(port, "127.0.0.1", () => socket.write(request))
        socket.on("data", (d) => /^HTTP\/1\.1 101 [^]*\r\n\r\n/.test(data += d) && socket.destroy())
        socket.on("error", () => {})
        socket.on("close", () => resolve(data))
    })
}
const request = (line, host = `127.0.0.1:${port}`, extra = "") =>
    raw(`${line} HTTP/1.1\r\nHost: ${host}\r\n${extra}Connection: close\r\n\r\n`)
const status = async (answer) => Number(/^HTTP\/1\.1 (\d{3})/.exec(await answer)?.[1] || 0)
const upgrade = (host, origin = `http://${host}`) => request("GET /ws", host, `Origin: ${origin}\r\n` +
    "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n")

async function serving() {
    assert.equal(server.exitCode, null, "the server has exited")
    assert.equal(await status(request("GET /")), 200)
}

// The engines alive whose parent is the server; settle() waits until there are none.
function engines() {
    let n = 0
    for (const pid of fs.readdirSync("/proc").filter((d) => /^\d+$/.test(d))) {
        try {
            if (/^\d+ \(quarn\) [^Z] (\d+)/.exec(fs.readFileSync(`/proc/${pid}/stat`, "utf8"))?.[1] === String(server.pid)) n++
        } catch {} // gone meanwhile
    }
    return n
}
const alive = (pid) => fs.existsSync(`/proc/${pid}`)
async function gone(pid) {
    for (let i = 0; i < 200 && alive(pid); i++) await sleep(50)
    return !alive(pid)
}
async function settle() {
    for (let i = 0; i < 200 && engines() > 0; i++) await sleep(50)
    assert.equal(engines(), 0)
}

test("relays whitelisted commands both ways, Marseillais turns and divide included, and drops bad lines", async () => {
    const c = await connect()
    const refused = {
        "not an allowed command": ["perft 3", "divide 2", "post", "e2e4 e7e5", "e2e4,d2d4,c2c4", "level 40 5",
            "level 9999 9999 9999", "level 41 5 0", "level 40 16 0", "level 40 15:01 0", "level 40 0:60 0", "level 40 5 1",
            "level 40 05 0", "variant suicide", "setboard 8/8/8/8/8/8/8/8 w - - 0 1; rm"],
        "control character": ["ping 1\nperft 6", "ping 1\r", "ping\t1", "ping 1\u0000"],
        "longer than 255 bytes": ["setboard " + "8/".repeat(120) + "8 w - - 0 1", "result * {" + "é".repeat(122) + "a" + "perft 12}"],
    }
    for (const [reason, lines] of Object.entries(refused)) {
        for (const text of lines) {
            c.send(text)
            assert.equal((await c.wait((x) => x.type === "refused", text)).reason, reason, text)
        }
    }
    c.ws.send("{not json")
    assert.equal((await c.wait((x) => x.type === "refused", "bad JSON")).reason, "not text")
    // None of them reached the engine: the first engine output after them is the pong.
    const mark = c.messages.length
    await c.pong(5)
    assert.deepEqual(c.messages.slice(mark).filter((m) => m.type === "line").map((m) => m.text), ["pong 5"])
    // Allowed commands do reach it: every level up to 40 moves in 15 minutes too.
    for (const level of ["level 28 0:17 0", "level 0 15 0", "level 40 15:00 0", "level 1 0:00 0", "level 40 14:59 0"]) c.send(level)
    await c.pong(6)
    assert.equal(c.messages.slice(mark).some((m) => m.type === "refused"), false)
    c.send("setboard 8/8/8/8/8/8/8/8 w - - 0 1")
    await c.line(/^Error \(illegal FEN\): setboard 8\/8\/8\/8\/8\/8\/8\/8 w - - 0 1$/)
    c.send("e2e5")
    await c.line(/^Error \(illegal move\): e2e5$/)
    for (const line of ["new", "variant marseillais", "force", "e2e4", "divide 1"]) c.send(line)
    const from = c.seen
    const total = await c.line(/^# perft\(1\) = /)
    const turns = c.messages.slice(from, c.seen).filter((m) => /^# \S+,\S+: 1$/.test(m.text)).length
    assert.ok(turns > 400 && total.text.startsWith(`# perft(1) = ${turns},`), total.text)
    c.send("rand")
    c.send("go")
    assert.match((await c.line(/^move /)).text, /^move [a-h][1-8][a-h][1-8],$/)
    await c.line(/^move [a-h][1-8][a-h][1-8]$/)
    c.ws.close()
})

test(`at most ${MAX_ENGINES} engines alive, restart bursts included; the next tab is told it is busy`, async () => {
    const clients = []
    for (let i = 0; i < MAX_ENGINES; i++) clients.push(await connect())
    const extra = await connect()
    assert.equal(extra.messages[0].type, "busy")
    assert.match(extra.messages[0].text, /Other tabs of this board hold all 4 engines. Closing one of those tabs frees its engine/)
    await extra.closed
    assert.equal(extra.messages.some((m) => m.type === "started"), false)
    let most = 0
    for (const c of clients) for (let i = 0; i < 500; i++) c.ws.send(JSON.stringify({type: "restart"}))
    for (let i = 0; i < 300; i++, await sleep(10)) most = Math.max(most, engines())
    assert.ok(most <= MAX_ENGINES, `${most} engines alive at once`)
    assert.match((await clients[0].wait((m) => m.type === "busy", "busy")).text, /restart/)
    clients.pop().ws.close()
    let next
    for (let i = 0; i < 50 && !next?.pid; i++) {
        await sleep(100)
        next = await connect()
    }
    await next.pong(1)
    for (const c of [...clients, next]) c.ws.close()
    await settle()
})

test("an engine killed mid-game is reported, a restart brings a fresh one, a closed socket ends its engine", async () => {
    const c = await connect()
    const pid = c.pid
    for (const line of ["new", "level 40 15 0", "e2e4"]) c.send(line)
    await c.line(/^\d+ -?\d+ \d+ \d+ /) // thinking
    process.kill(pid, "SIGKILL")
    const exit = await c.wait((m) => m.type === "exit", "exit")
    assert.equal(exit.signal, "SIGKILL")
    c.send("ping 2") // nobody to hear it
    c.ws.send(JSON.stringify({type: "restart"}))
    const again = await c.wait((m) => m.type === "started", "restart")
    assert.notEqual(again.pid, pid)
    c.send("xboard")
    await c.pong(3)
    // A restart of a thinking engine ends the old process without an exit report.
    for (const line of ["new", "level 40 15 0", "e2e4"]) c.send(line)
    await c.line(/^\d+ -?\d+ \d+ \d+ /)
    c.ws.send(JSON.stringify({type: "restart"}))
    const third = await c.wait((m) => m.type === "started", "second restart")
    assert.ok(await gone(again.pid))
    c.send("xboard")
    await c.pong(4)
    assert.equal(c.messages.filter((m) => m.type === "exit").length, 1)
    for (const line of ["new", "level 40 15 0", "go"]) c.send(line)
    await c.line(/^\d+ -?\d+ \d+ \d+ /)
    c.ws.close() // idle engines end with their sockets too: settle() in the other tests
    assert.ok(await gone(third.pid))
})

test("malformed and odd requests get a 4xx answer; HEAD gets the headers alone", async () => {
    const cases = [
        ["GET /vendor/chess.js/%00.js", 400], ["GET /%00", 400], ["GET /%E0%A4%A.js", 400], ["GET /%ZZ", 400],
        ["GET /" + "a".repeat(3000) + ".js", 414], ["GET /" + "a".repeat(20000), 431],
        ["GET /../../etc/passwd", 404], ["GET /%2e%2e/package.json", 404], ["GET /server.js", 404],
        ["GET /vendor/chess.js/..%2f..%2f..%2fpackage.json", 404], ["GET /index.html/x.js", 404],
        ["POST /", 405], ["DELETE /", 405], ["BREW /", 400], ["GET / HTTP/1.1\r\nBad Header\r\n\r\nGET /", 400],
    ]
    for (const [line, code] of cases) {
        assert.equal(await status(request(line)), code, line.slice(0, 60))
        await serving()
    }
    assert.equal(await status(raw("\u0000\u0001\r\n\r\n")), 400)
    const [getHead, body] = (await request("GET /")).split("\r\n\r\n")
    const head = await request("HEAD /")
    assert.match(body, /<html/)
    assert.equal(head.replace(/^Date: .*$/m, ""), getHead.replace(/^Date: .*$/m, "") + "\r\n\r\n")
})

test("pages and sockets only for an IP literal or localhost with the server's port, sockets from the page's origin", async () => {
    const own = `127.0.0.1:${port}`
    const cases = [...[own, `localhost:${port}`, `[::1]:${port}`].map((host) => [host, undefined, true]),
        ...[`evil.example:${port}`, `127.0.0.1.nip.io:${port}`, `127.0.0.1:${port + 1}`, "127.0.0.1", "[::1", "",
            `[127.0.0.1]:${port}`, `999.0.0.1:${port}`].map((host) => [host, undefined, false]),
        [own, "http://evil.example", "page only"], [own, "::not a url::", "page only"]]
    for (const [host, origin, ok] of cases) {
        assert.equal(await status(request("GET /", host)), ok ? 200 : 403, `page, Host ${host}`)
        assert.equal(await status(upgrade(host, origin)), ok === true ? 101 : 403, `socket, Host ${host}, Origin ${origin}`)
    }
    await settle()
})

test(`a flood from a client that never reads leaves the server under ${PEAK_MB} MB`, async (t) => {
    const peak = () => Number(/VmHWM:\s+(\d+) kB/.exec(fs.readFileSync(`/proc/${server.pid}/status`, "utf8"))[1]) / 1024
    const flood = await connect()
    flood.ws.pause()
    for (let i = 0; i < 150000; i++) flood.send("divide 1")
    for (let ms = 0; ms < 4000 && peak() < PEAK_MB; ms += 250) await sleep(250)
    t.diagnostic(`peak during the flood: ${peak().toFixed(0)} MB`)
    assert.ok(peak() < PEAK_MB, `peak ${peak().toFixed(0)} MB`)
    await serving()
    const other = await connect()
    await other.pong(9)
    flood.ws.terminate()
    other.ws.close()
    await settle()
})
