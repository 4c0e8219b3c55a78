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
let server, port, startDescriptors

// The server in a process of its own (under a descriptor limit, if given)
// and its port; it pings every page every second.
async function startServerProcess(limit) {
    const args = [path.resolve(board, process.env.BOARD_SERVER || "server.js"),
        "--port", "0", "--engine", enginePath, "--ping-seconds", "1"]
    const child = limit ? spawn("/bin/sh", ["-c", `ulimit -n ${limit} && exec "$0" "$@"`, process.execPath, ...args],
        {stdio: ["ignore", "pipe", "inherit"]}) : spawn(process.execPath, args, {stdio: ["ignore", "pipe", "inherit"]})
    const listening = await new Promise((resolve) => child.stdout.once("data", (d) => resolve(Number(/:(\d+)\//.exec(d)[1]))))
    return [child, listening]
}

before(async () => {
    [server, port] = await startServerProcess()
    startDescriptors = fs.readdirSync(`/proc/${server.pid}/fd`).length
})
after(() => server.kill())

// A test client: every message kept in order; wait() looks from a cursor on.
async function connect(to = port) {
    const ws = new WebSocket(`ws://127.0.0.1:${to}/ws`)
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
    const first = await client.wait((m) => ["started", "busy", "exit"].includes(m.type), "start")
    if (first.type === "started") client.send("xboard") // no prompts from here on
    client.pid = first.pid
    return client
}

// Sends raw bytes; resolves with the whole answer once the server closes
// (or, for a switch to a WebSocket, once its head is in); "" if none.
function raw(request, to = port) {
    return new Promise((resolve) => {
        let data = ""
        const socket = net.connect(to, "127.0.0.1", () => socket.write(request))
        socket.on("data", (d) => /^HTTP\/1\.1 101 [^]*\r\n\r\n/.test(data += d) && socket.destroy())
        socket.on("error", () => {})
        socket.on("close", () => resolve(data))
    })
}
const request = (line, host = `127.0.0.1:${port}`, extra = "", to = port) =>
    raw(`${line} HTTP/1.1\r\nHost: ${host}\r\n${extra}Connection: close\r\n\r\n`, to)
const status = async (answer) => Number(/^HTTP\/1\.1 (\d{3})/.exec(await answer)?.[1] || 0)
const UPGRADE = "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n"
const upgrade = (host, origin = `http://${host}`) => request("GET /ws", host, `Origin: ${origin}\r\n${UPGRADE}`)

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
            "level 9999 9999 9999", "level 41 5 0", "level 40 181 0", "level 40 180:01 0", "level 40 0:60 0",
            "level 40 5 61", "level 0 3 02", "level 40 05 0", "sd 0", "sd 10", "st 1", "variant suicide", "setboard 8/8/8/8/8/8/8/8 w - - 0 1; rm"],
        "control character": ["ping 1\nperft 6", "ping 1\r", "ping\t1", "ping 1\u0000"],
        "longer than 255 bytes": ["setboard " + "8/".repeat(120) + "8 w - - 0 1", "result * {" + "é".repeat(122) + "a" + "perft 12}",
            "result * {" + "é".repeat(122) + "a" + "level 1 9999 0}"],
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
    // Allowed commands do reach it: every level up to 40 moves in 180 minutes, 60 s a move, too.
    for (const level of ["level 28 0:17 0", "level 0 15 0", "level 40 180:00 0", "level 1 0:00 0", "level 40 179:59 0",
        "level 0 3 2", "level 0 25:10 60"]) c.send(level)
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

// The server's memory (MB): resident now, and the peak since resetPeak().
const memory = (field) => Number(new RegExp(`${field}:\\s+(\\d+) kB`).exec(fs.readFileSync(`/proc/${server.pid}/status`, "utf8"))[1]) / 1024
const resetPeak = () => fs.writeFileSync(`/proc/${server.pid}/clear_refs`, "5")
const descriptors = () => fs.readdirSync(`/proc/${server.pid}/fd`).length

// A socket that never reads: `request` written (in pieces, while the
// server takes them, up to `total` bytes), then left open. Resolves with
// the socket once the server stops taking more, or all is written.
function hog(request, total = request.length, {stopAtMb = Infinity} = {}) {
    return new Promise((resolve) => {
        const socket = net.connect(port, "127.0.0.1")
        socket.on("error", () => {})
        socket.pause()
        let sent = 0
        let stalled = null
        const more = () => {
            clearTimeout(stalled)
            while (sent < total && memory("VmRSS") < stopAtMb) {
                sent += request.length
                if (!socket.write(request)) {
                    stalled = setTimeout(() => resolve(socket), 2000) // the server stopped reading
                    return socket.once("drain", more)
                }
            }
            resolve(socket)
        }
        socket.once("connect", more)
    })
}
// WebSocket frames from a client: FIN, opcode, masked with a zero key.
const frame = (opcode, payload) => Buffer.concat([Buffer.from([0x80 | opcode, 0x80 | payload.length, 0, 0, 0, 0]), payload])
const HANDSHAKE = () => `GET /ws HTTP/1.1\r\nHost: 127.0.0.1:${port}\r\n${UPGRADE}\r\n`

// A fresh tab plays a move, once an engine is free (a tab told it is busy tries again).
async function playsAMove(to = port) {
    let c
    for (const until = Date.now() + WAIT_MS; !c?.pid && Date.now() < until; await sleep(200)) {
        c?.ws.terminate()
        c = await connect(to).catch(() => null)
    }
    assert.ok(c?.pid, "no engine for a new tab")
    for (const line of ["new", "rand", "e2e4"]) c.send(line)
    await c.line(/^move [a-h][1-8][a-h][1-8]/)
    c.ws.close()
}

// Hostile clients with the inputs that once broke the server or held its
// slots. Each attack leaves its sockets open and returns a function that
// closes them.
const ATTACKS = [
    [`a flood of lines from a tab that never reads`, async () => {
        const flood = await connect()
        flood.ws.pause()
        for (let i = 0; i < 50000; i++) flood.send("divide 1")
        await sleep(3000)
        return () => flood.ws.terminate()
    }],
    [`${MAX_ENGINES} busy tabs fill their engines' queues with pings and vanish`, async () => {
        const tabs = []
        for (let i = 0; i < MAX_ENGINES; i++) tabs.push(await connect())
        for (const c of tabs) {
            for (const line of ["new", "level 1 15 0", "go"]) c.send(line)
            for (let i = 0; i < 30000; i++) c.send(`ping ${i}`) // about 300 KB
        }
        await sleep(500)
        for (const c of tabs) c.ws.terminate()
        return () => {}
    }],
    ["ping frames from a client that never reads", async () => {
        const pings = Buffer.concat(Array.from({length: 500}, () => frame(0x9, Buffer.alloc(125, 97))))
        const ws = await new Promise((resolve) => {
            const s = net.connect(port, "127.0.0.1", () => s.write(HANDSHAKE()))
            s.on("error", () => {})
            s.once("data", () => {
                s.pause()
                resolve(s)
            })
        })
        let sent = 0
        while (sent < 300 * 1024 * 1024 && memory("VmRSS") < 4 * PEAK_MB) {
            sent += pings.length
            if (!ws.write(pings)) {
                const drained = await Promise.race([new Promise((r) => ws.once("drain", () => r(true))), sleep(2000)])
                if (!drained) break
            }
        }
        return () => ws.destroy()
    }],
    ["20,000 pipelined GETs on a socket that never reads", async () => {
        const get = `GET /vendor/chess.js/chess.js HTTP/1.1\r\nHost: 127.0.0.1:${port}\r\n\r\n`
        const socket = await hog(Buffer.from(get.repeat(20000)))
        for (let ms = 0; ms < 6000 && memory("VmHWM") < PEAK_MB; ms += 250) await sleep(250) // the answers pile up slowly
        return () => socket.destroy()
    }],
    ["a tab that stops answering pings", async () => {
        const ws = new WebSocket(`ws://127.0.0.1:${port}/ws`, {autoPong: false})
        const closed = new Promise((resolve) => ws.on("close", resolve))
        ws.on("error", () => {})
        assert.ok(await Promise.race([closed.then(() => true), sleep(WAIT_MS).then(() => false)]), "the server keeps a tab that answers no ping")
        return () => {}
    }],
]
for (const [name, attack] of ATTACKS) {
    test(`attack: ${name}; the server lives under ${PEAK_MB} MB, serves the page, and a new tab plays`, async (t) => {
        resetPeak()
        const before = memory("VmRSS")
        const release = await attack()
        const peak = memory("VmHWM")
        t.diagnostic(`resident memory before ${before.toFixed(0)} MB, peak ${peak.toFixed(0)} MB, after ${memory("VmRSS").toFixed(0)} MB`)
        assert.ok(peak < PEAK_MB, `peak ${peak.toFixed(0)} MB`)
        await serving()
        await playsAMove()
        release()
        await settle()
    })
}

test("refused upgrades and unfinished requests whose clients never close are closed by the server", async (t) => {
    const before = descriptors()
    const refused = Buffer.from(HANDSHAKE().replace("\r\n\r\n", "\r\nOrigin: http://evil.example\r\n\r\n"))
    const unfinished = Buffer.from(`GET / HTTP/1.1\r\nHost: 127.0.0.1:${port}\r\nX: `)
    const sockets = await Promise.all(Array(100).fill(unfinished).map((r) => hog(r)))
    for (let i = 0; i < 6; i++) sockets.push(...await Promise.all(Array(50).fill(refused).map((r) => hog(r))))
    await sleep(500)
    const held = descriptors()
    let left = held
    for (let ms = 0; ms < 30000 && left > before + 10; ms += 500, await sleep(500)) left = descriptors()
    t.diagnostic(`descriptors: ${before} before, ${held} with 400 sockets held, ${left} after`)
    assert.ok(left <= before + 10, `${left} descriptors still open (${before} before)`)
    for (const s of sockets) s.destroy()
    await serving()
    await playsAMove()
})

test("under a low descriptor limit (ulimit -n) idle connections leave an engine its pipes, and a failed start is answered", async () => {
    // Idle connections take every connection the server accepts; a tab takes the place of three of them.
    const [roomy, roomyPort] = await startServerProcess(startDescriptors + 40)
    try {
        const idle = Array.from({length: 200}, () => net.connect(roomyPort, "127.0.0.1").on("error", () => {}))
        const open = new Set(idle)
        for (const s of idle) s.on("close", () => open.delete(s))
        await sleep(1000)
        for (const s of [...open].slice(0, 3)) s.destroy()
        await sleep(200)
        await playsAMove(roomyPort)
        assert.equal(roomy.exitCode, null, "the server has exited")
        for (const s of idle) s.destroy()
    } finally {
        roomy.kill()
    }
    // No descriptors for an engine's pipes at all: the tab is told, the server goes on.
    const [tight, tightPort] = await startServerProcess(startDescriptors + 3)
    try {
        const c = await connect(tightPort)
        const exit = c.messages[0].type === "exit" ? c.messages[0] : await c.wait((m) => m.type === "exit", "exit")
        assert.match(exit.error, /EMFILE/)
        c.ws.close()
        await c.closed
        await sleep(500)
        assert.equal(tight.exitCode, null, "the server has exited")
        assert.equal(await status(request("GET /", `127.0.0.1:${tightPort}`, "", tightPort)), 200)
    } finally {
        tight.kill()
    }
})
