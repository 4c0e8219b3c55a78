// A command-line engine made of the browser's engine: the worker script
// (board/static/quarn-worker.js) runs in a worker-like context with the
// WebAssembly module of WEB_DIR (quarn.js, quarn.wasm), fed standard input
// line by line as the page feeds it; each line it posts goes to standard
// output, and its exit code ends the process. Standard input's end ends it
// with 0, as it ends the native engine.
//
//   node tests/wasm/worker_engine.mjs WEB_DIR
import fs from "node:fs"
import path from "node:path"
import vm from "node:vm"

const here = path.dirname(new URL(import.meta.url).pathname)
const workerFile = path.resolve(here, "../../board/static/quarn-worker.js")
const webDir = path.resolve(process.argv[2] ?? "build-wasm/web")

// The worker's side of the page: what it posts.
function fromWorker(message) {
    if (message.type === "line") fs.writeSync(1, message.text + "\n")
    else if (message.type === "started") feed()
    else if (message.type === "exit") process.exit(message.code)
}

const worker = vm.createContext({
    console,
    performance,
    TextDecoder,
    setTimeout,
    clearTimeout,
    WebAssembly,
    location: {href: "file://" + path.join(webDir, "quarn-worker.js")},
    postMessage: (message) => fromWorker(structuredClone(message)),
    close: () => {},
    importScripts: (...names) => {
        for (const name of names) {
            const file = path.join(webDir, name)
            vm.runInContext(fs.readFileSync(file, "utf8"), worker, {filename: file})
        }
    },
})
worker.self = worker
vm.runInContext(fs.readFileSync(workerFile, "utf8"), worker, {filename: workerFile})

// Standard input, split at each newline; the lines go over once the engine
// has started.
let started = false
let pending = Buffer.alloc(0)
let inputEnded = false
function feed() {
    started = true
    for (;;) {
        const end = pending.indexOf(10)
        if (end < 0) break
        const line = pending.subarray(0, end).toString("utf8")
        pending = pending.subarray(end + 1)
        worker.onmessage({data: {type: "line", text: line}})
    }
    if (!inputEnded) return
    if (pending.length > 0) worker.onmessage({data: {type: "line", text: pending.toString("utf8")}})
    process.exit(0)
}
process.stdin.on("data", (chunk) => {
    pending = Buffer.concat([pending, chunk])
    if (started) feed()
})
process.stdin.on("end", () => {
    inputEnded = true
    if (started) feed()
})

const module = await WebAssembly.compile(fs.readFileSync(path.join(webDir, "quarn.wasm")))
worker.onmessage({data: {type: "init", module}})
