// The board server in a process of its own (BOARD_SERVER, default server.js)
// against hostile requests, a client that floods and never reads, and a
// restart burst: it answers, stays small and keeps to its engine cap.
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
const PEAK_MB = 120        // the server's peak resident memory during the flood stays below this
const FLOOD_LINES = 150000
const WATCH_MS = 4000      // how long the flood is watched
const CAP = 4
const sleep = (ms) => new Promise((r) => setTimeout(r, ms))
let server, port

before(async () => {
    server = spawn(process.execPath, [path.resolve(board, process.env.BOARD_SERVER || "server.js"),
        "--port", "0", "--engine", enginePath], {stdio: ["ignore", "pipe", "inherit"]})
    port = await new Promise((resolve) => server.stdout.on("data", (d) => resolve(Number(/:(\d+)\//.exec(d)[1]))))
})
after(() => server.kill())

// Sends raw bytes; resolves with the whole answer once the server closes
// (or, for a switch to a WebSocket, once its head is in). "" if none.
function raw(request) {
    return new Promise((resolve) => {
        let data = ""
        const socket = net.connect(port, "127.0.0.1", () => socket.write(request))
        socket.on("data", (d) => {
            data += d
            if (/^HTTP\/1\.1 101 [^]*\r\n\r\n/.test(data)) socket.destroy()
        })
        socket.on("error", () => {})
        socket.on("close", () => resolve(data))
    })
}
const request = (line, host = `127.0.0.1:${port}`, extra = "") =>
    raw(`${line} HTTP/1.1\r\nHost: ${host}\r\n${extra}Connection: close\r\n\r\n`)
const status = (answer) => Number(/^HTTP\/1\.1 (\d{3})/.exec(answer)?.[1] || 0)
const upgrade = (host) => request("GET /ws", host, `Origin: http://${host}\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n` +
    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n")

async function serving() {
    assert.equal(server.exitCode, null, "the server has exited")
    assert.equal(status(await request("GET /")), 200)
}

// The quarn processes alive whose parent is the server.
function engines() {
    let n = 0
    for (const pid of fs.readdirSync("/proc").filter((d) => /^\d+$/.test(d))) {
        try {
            const stat = fs.readFileSync(`/proc/${pid}/stat`, "utf8")
            if (/^\d+ \(quarn\) [^Z] (\d+)/.exec(stat)?.[1] === String(server.pid)) n++
        } catch {} // gone meanwhile
    }
    return n
}

async function open() {
    const ws = new WebSocket(`ws://127.0.0.1:${port}/ws`)
    ws.messages = []
    ws.on("message", (d) => ws.messages.push(JSON.parse(d)))
    await new Promise((resolve, reject) => ws.once("open", resolve).once("error", reject))
    ws.line = (text) => ws.send(JSON.stringify({type: "line", text}))
    ws.until = async (pred) => {
        for (let i = 0; i < 400 && !ws.messages.some(pred); i++) await sleep(50)
        return ws.messages.find(pred)
    }
    return ws
}

test("malformed and odd requests get a 4xx answer; HEAD gets the headers alone", async () => {
    const cases = [
        ["GET /vendor/chess.js/%00.js", 400],
        ["GET /%00", 400],
        ["GET /%E0%A4%A.js", 400],
        ["GET /vendor/cm-chessboard/%ZZ", 400],
        ["GET /" + "a".repeat(3000) + ".js", 414],
        ["GET /" + "a".repeat(20000), 431],
        ["GET /../../etc/passwd", 404],
        ["GET /%2e%2e/package.json", 404],
        ["GET /vendor/chess.js/..%2f..%2f..%2fpackage.json", 404],
        ["GET /server.js", 404],
        ["GET /index.html/x.js", 404],
        ["POST /", 405],
        ["DELETE /", 405],
        ["BREW /", 400],
        ["GET / HTTP/1.1\r\nHost: x\r\nBad Header\r\n\r\nGET /", 400],
    ]
    for (const [line, code] of cases) {
        assert.equal(status(await request(line)), code, line.slice(0, 60))
        await serving()
    }
    assert.equal(status(await raw("\u0000\u0001\r\n\r\n")), 400)
    const get = await request("GET /")
    const head = await request("HEAD /")
    const [getHead, body] = get.split("\r\n\r\n")
    assert.ok(body.includes("<html"))
    assert.equal(head, getHead.replace(/^Date: .*\r\n/m, /^Date: .*\r\n/m.exec(head)[0]) + "\r\n\r\n")
})

test("pages and sockets only for an IP literal or localhost with the server's port", async () => {
    const hosts = [
        [`127.0.0.1:${port}`, true], [`localhost:${port}`, true], [`[::1]:${port}`, true], [`LocalHost:${port}`, true],
        [`evil.example:${port}`, false], [`127.0.0.1.nip.io:${port}`, false], [`127.0.0.1:${port + 1}`, false],
        ["127.0.0.1", false], [`[::1`, false], [`[127.0.0.1]:${port}`, false], [`999.0.0.1:${port}`, false], ["", false],
    ]
    for (const [host, ok] of hosts) {
        assert.equal(status(await request("GET /", host)), ok ? 200 : 403, `page, Host ${host}`)
        assert.equal(status(await upgrade(host)), ok ? 101 : 403, `socket, Host ${host}`)
    }
    for (let i = 0; i < 100 && engines() > 0; i++) await sleep(50)
})

test(`a ${FLOOD_LINES}-line flood from a client that never reads leaves the server under ${PEAK_MB} MB`, async (t) => {
    const peak = () => Number(/VmHWM:\s+(\d+) kB/.exec(fs.readFileSync(`/proc/${server.pid}/status`, "utf8"))[1]) / 1024
    t.diagnostic(`peak before: ${peak().toFixed(0)} MB`)
    const flood = await open()
    flood.pause()
    for (let i = 0; i < FLOOD_LINES; i++) flood.line("divide 1")
    for (let ms = 0; ms < WATCH_MS && peak() < PEAK_MB; ms += 250) await sleep(250)
    t.diagnostic(`peak during the flood: ${peak().toFixed(0)} MB`)
    assert.ok(peak() < PEAK_MB, `peak ${peak().toFixed(0)} MB`)
    await serving()
    const other = await open()
    other.line("xboard")
    other.line("ping 9")
    assert.ok(await other.until((m) => m.text === "pong 9"))
    flood.terminate()
    other.close()
    for (let i = 0; i < 100 && engines() > 0; i++) await sleep(50)
    assert.equal(engines(), 0)
})

test(`restart bursts and long levels are refused; never more than ${CAP} engines alive`, async () => {
    const tabs = []
    for (let i = 0; i < CAP; i++) tabs.push(await open())
    let most = 0
    for (const ws of tabs) for (let i = 0; i < 500; i++) ws.send(JSON.stringify({type: "restart"}))
    for (let i = 0; i < 300; i++) {
        most = Math.max(most, engines())
        await sleep(10)
    }
    assert.ok(most <= CAP, `${most} engines alive at once`)
    assert.match((await tabs[0].until((m) => m.type === "busy")).text, /restart/)
    const [ws] = tabs
    for (const level of ["level 9999 9999 9999", "level 41 5 0", "level 40 16 0", "level 40 15:01 0", "level 40 0:60 0",
        "level 40 5 1", "level 40 05 0", "level -1 5 0"]) {
        ws.line(level)
        assert.ok(await ws.until((m) => m.type === "refused" && m.text === level), level)
    }
    for (const level of ["level 28 0:17 0", "level 0 15 0", "level 40 15:00 0", "level 1 0:00 0", "level 40 14:59 0"]) ws.line(level)
    ws.line("xboard")
    ws.line("ping 3")
    assert.ok(await ws.until((m) => m.text === "pong 3"))
    assert.deepEqual(ws.messages.filter((m) => m.type === "refused").length, 8)
    for (const tab of tabs) tab.close()
})
