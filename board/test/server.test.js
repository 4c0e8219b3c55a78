// The relay against the real engine binary (QUARN_ENGINE, default build/quarn).
import {test, before, after} from "node:test"
import assert from "node:assert/strict"
import path from "node:path"
import {fileURLToPath} from "node:url"
import WebSocket from "ws"
import {startServer, MAX_ENGINES} from "../server.js"

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "..", "..")
const enginePath = path.resolve(root, process.env.QUARN_ENGINE || "build/quarn")
const WAIT_MS = 20000
let board

before(async () => {
    board = await startServer({port: 0, enginePath})
})
after(() => board.close())

// A test client: every message kept in order; wait() looks from a cursor on.
async function connect() {
    const ws = new WebSocket(board.url.replace("http", "ws") + "ws")
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

const alive = (pid) => {
    try {
        process.kill(pid, 0)
        return true
    } catch {
        return false
    }
}

async function gone(pid) {
    for (let i = 0; i < 200 && alive(pid); i++) await new Promise((r) => setTimeout(r, 50))
    return !alive(pid)
}

test("relays protocol lines both ways, Marseillais turns and divide included", async () => {
    const c = await connect()
    c.send("protover 2")
    await c.line(/^feature done=1$/)
    for (const line of ["new", "variant marseillais", "force", "e2e4", "divide 1"]) c.send(line)
    const from = c.seen
    const total = await c.line(/^# perft\(1\) = /)
    const turns = c.messages.slice(from, c.seen).filter((m) => /^# \S+,\S+: 1$/.test(m.text))
    assert.match(total.text, new RegExp(`^# perft\\(1\\) = ${turns.length},`))
    assert.ok(turns.length > 400)
    c.send("rand")
    c.send("go")
    const first = await c.line(/^move /)
    assert.match(first.text, /^move [a-h][1-8][a-h][1-8],$/)
    await c.line(/^move [a-h][1-8][a-h][1-8]$/)
    c.ws.close()
})

test("forwards only whitelisted commands and drops bad lines", async () => {
    const c = await connect()
    const refused = [
        ["perft 3", "not an allowed command"],
        ["divide 2", "not an allowed command"],
        ["post", "not an allowed command"],
        ["e2e4 e7e5", "not an allowed command"],
        ["e2e4,d2d4,c2c4", "not an allowed command"],
        ["level 40 5", "not an allowed command"],
        ["variant suicide", "not an allowed command"],
        ["setboard 8/8/8/8/8/8/8/8 w - - 0 1; rm", "not an allowed command"],
        ["ping 1\nperft 6", "control character"],
        ["ping 1\r", "control character"],
        ["ping\t1", "control character"],
        ["ping 1\u0000", "control character"],
        ["setboard " + "8/".repeat(120) + "8 w - - 0 1", "longer than 255 characters"],
    ]
    for (const [text, reason] of refused) {
        c.send(text)
        const m = await c.wait((x) => x.type === "refused", text)
        assert.equal(m.reason, reason, text)
    }
    c.ws.send("{not json")
    assert.equal((await c.wait((x) => x.type === "refused", "bad JSON")).reason, "not text")
    // None of them reached the engine: the first engine output after them is the pong.
    const mark = c.messages.length
    await c.pong(5)
    assert.deepEqual(c.messages.slice(mark).filter((m) => m.type === "line").map((m) => m.text), ["pong 5"])
    // Allowed commands do reach it.
    c.send("setboard 8/8/8/8/8/8/8/8 w - - 0 1")
    await c.line(/^Error \(illegal FEN\): setboard 8\/8\/8\/8\/8\/8\/8\/8 w - - 0 1$/)
    c.send("e2e5")
    await c.line(/^Error \(illegal move\): e2e5$/)
    c.ws.close()
})

test(`starts at most ${MAX_ENGINES} engines; the next tab is told it is busy`, async () => {
    const clients = []
    for (let i = 0; i < MAX_ENGINES; i++) {
        clients.push(await connect())
        assert.ok(clients[i].pid)
    }
    const extra = await connect()
    const busy = extra.messages[0]
    assert.equal(busy.type, "busy")
    assert.match(busy.text, /busy/)
    await extra.closed
    assert.equal(extra.messages.some((m) => m.type === "started"), false)
    const freed = clients.pop()
    freed.ws.close()
    assert.ok(await gone(freed.pid))
    let next
    for (let i = 0; i < 50 && !next?.pid; i++) {
        await new Promise((r) => setTimeout(r, 100))
        next = await connect()
    }
    await next.pong(1)
    for (const c of [...clients, next]) c.ws.close()
    for (let i = 0; i < 200 && board.sessions.size > 0; i++) await new Promise((r) => setTimeout(r, 50))
})

test("an engine killed mid-game is reported, and a restart brings a fresh one", async () => {
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
    assert.ok(alive(third.pid))
    c.ws.close()
    assert.ok(await gone(third.pid))
})

test("closing the socket ends its engine, even one that is thinking", async () => {
    for (const thinking of [false, true]) {
        const c = await connect()
        const pid = c.pid
        if (thinking) {
            for (const line of ["new", "level 40 15 0", "go"]) c.send(line)
            await c.line(/^\d+ -?\d+ \d+ \d+ /)
        } else {
            await c.pong(1)
        }
        c.ws.close()
        assert.ok(await gone(pid), `engine ${pid} still running (thinking: ${thinking})`)
    }
})

test("refuses sockets from other sites and survives a malformed Origin header", async () => {
    const wsUrl = board.url.replace("http", "ws") + "ws"
    for (const origin of ["http://evil.example", "::not a url::"]) {
        const ws = new WebSocket(wsUrl, {origin})
        const outcome = await new Promise((resolve) => {
            ws.once("open", () => resolve("open"))
            ws.once("error", () => resolve("refused"))
        })
        assert.equal(outcome, "refused", origin)
    }
    const c = await connect() // the server still serves the page's own socket
    await c.pong(7)
    c.ws.close()
})
