// The line link to one quarn engine at a time. Two ways, chosen once at load
// from site-config.js; the rest of the page never knows which it has:
//   socket  quarn on this machine: a WebSocket to board/server.js, which runs
//           one engine process per tab;
//   worker  quarn in this browser: the WebAssembly engine in a Web Worker.
// Both offer: kind (text for the page), start(), restart() (end the engine,
// start a fresh one), stop() (end it, quietly), send(line); and call the handlers
//   started(info)  a fresh engine reads lines (info.pid for a process)
//   line(text)     one output line, without its newline
//   exit(why)      the engine ended
//   busy(text)     no engine can be had now (the page shows the text)
//   notice(text)   a line was not passed on
//   lost(text)     the link is gone for good (a reload may bring it back)

export function createLink(kind, handlers) {
    return kind === "worker" ? workerLink(handlers) : socketLink(handlers)
}

function socketLink(on) {
    let ws = null
    let busy = false
    const post = (message) => {
        if (ws && ws.readyState === WebSocket.OPEN) ws.send(JSON.stringify(message))
    }
    return {
        kind: "quarn on this machine",
        start() {
            const url = new URL("ws", location.href)
            url.protocol = location.protocol === "https:" ? "wss:" : "ws:"
            ws = new WebSocket(url)
            ws.onmessage = (event) => {
                const m = JSON.parse(event.data)
                if (m.type === "line") on.line(m.text)
                else if (m.type === "started") {
                    busy = false
                    on.started({pid: m.pid})
                } else if (m.type === "exit") {
                    on.exit(m.error || (m.signal ? `killed by ${m.signal}` : `exit status ${m.code}`))
                } else if (m.type === "busy") {
                    busy = true
                    on.busy(m.text)
                } else if (m.type === "refused") {
                    on.notice(`The server did not pass "${m.text}" on: ${m.reason}.`)
                }
            }
            ws.onclose = () => {
                if (!busy) on.lost("The board server has stopped. Start it again (./board.sh) and reload this page.")
            }
        },
        restart: () => post({type: "restart"}),
        stop() {
            if (!ws) return
            ws.onclose = ws.onmessage = null
            ws.close() // the server ends the engine and frees its slot
            ws = null
        },
        send: (text) => post({type: "line", text}),
    }
}

const ENGINE_WASM = "engine/quarn.wasm"
const ENGINE_WORKER = "engine/quarn-worker.js"
let compiled = null // the engine is compiled once; every worker gets the module

function compileEngine() {
    compiled ??= WebAssembly.compileStreaming(fetch(ENGINE_WASM)).catch(async () => {
        // a host that serves .wasm without its MIME type
        const response = await fetch(ENGINE_WASM)
        if (!response.ok) throw new Error(`${ENGINE_WASM}: ${response.status}`)
        return WebAssembly.compile(await response.arrayBuffer())
    })
    return compiled
}

function workerLink(on) {
    let worker = null
    let starts = 0 // only the latest start makes a worker
    const end = () => {
        worker?.terminate()
        worker = null
    }
    const start = async () => {
        end()
        const mine = ++starts
        let module
        try {
            module = await compileEngine()
        } catch (err) {
            compiled = null
            if (mine === starts) on.lost(`quarn could not be loaded (${err.message}). Reload this page to try again.`)
            return
        }
        if (mine !== starts) return
        const w = new Worker(ENGINE_WORKER)
        worker = w
        w.onmessage = ({data: m}) => {
            if (worker !== w) return
            if (m.type === "line") on.line(m.text)
            else if (m.type === "started") on.started({})
            else if (m.type === "exit") {
                end()
                on.exit(`exit status ${m.code}`)
            }
        }
        w.onerror = (event) => {
            event.preventDefault()
            if (worker !== w) return
            end()
            on.exit(event.message || "the engine failed")
        }
        w.postMessage({type: "init", module})
    }
    return {
        kind: "quarn in this browser",
        start,
        restart: start,
        stop() {
            starts++ // a start under way makes no worker
            end()
        },
        send: (text) => worker?.postMessage({type: "line", text}),
    }
}
