// quarn in a Web Worker: a classic worker script, served as
// engine/quarn-worker.js beside the engine's quarn.js and quarn.wasm.
//
// The page compiles engine/quarn.wasm once and starts each engine with
//   const worker = new Worker("engine/quarn-worker.js")
//   worker.postMessage({type: "init", module})
// The worker then posts
//   {type: "started"}         once the engine is ready for input,
//   {type: "line", text}      for each line the engine prints, as it prints it,
//   {type: "exit", code}      when the engine has ended ("quit", or a failure),
//                             after which the worker closes;
// and takes {type: "line", text} for each line of input. A search holds the
// worker until the engine has moved: to interrupt it the page ends the worker.
"use strict"
importScripts("quarn.js")

let started = false // "init" came
let engine = null // the running engine's module, from "started" to "exit"
let ended = false
const waiting = [] // input lines that came before the engine was ready

function exit(code) {
    if (ended) return
    ended = true
    engine = null
    self.postMessage({type: "exit", code})
    self.close()
}

// The line goes to the engine through its heap (a line of any length).
function handleLine(text) {
    let quit
    try {
        const size = engine.lengthBytesUTF8(String(text)) + 1
        const bytes = engine._malloc(size)
        if (!bytes) throw new Error("no memory for the line")
        engine.stringToUTF8(String(text), bytes, size)
        quit = engine._quarn_handle_line(bytes)
        engine._free(bytes)
    } catch (error) {
        console.error("quarn stopped:", error)
        return exit(1)
    }
    if (quit) exit(0)
}

function start(module) {
    createQuarn({
        // The page's compiled module, instantiated here instead of fetched.
        instantiateWasm(imports, receive) {
            WebAssembly.instantiate(module, imports).then((instance) => receive(instance, module), fail)
            return {}
        },
        print: (text) => self.postMessage({type: "line", text}),
        printErr: (text) => console.error(text),
    }).then((instance) => {
        const code = instance._quarn_init()
        if (code !== 0) return exit(code)
        engine = instance
        self.postMessage({type: "started"})
        while (engine && waiting.length > 0) handleLine(waiting.shift())
    }, fail)
}

function fail(error) {
    console.error("quarn could not start:", error)
    exit(1)
}

self.onmessage = ({data}) => {
    if (ended || !data) return
    if (data.type === "init" && !started) {
        started = true
        start(data.module)
    } else if (data.type === "line") {
        if (engine) handleLine(data.text)
        else waiting.push(data.text)
    }
}
