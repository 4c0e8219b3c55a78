// Writes quarn board as a static site into DIR, for any web host and any
// sub-path of it (every URL is relative):
//   the page (board/public), its site-config.js set to the browser's engine;
//   vendor/chess.js/ and vendor/cm-chessboard/ (the server's URL layout): the
//     modules the page imports, followed import by import, and the board's
//     style sheets and images that the page uses (no others: the library's
//     second piece set is under a non-free licence);
//   engine/quarn.js, engine/quarn.wasm (from WEB_DIR, the WebAssembly build)
//     and engine/quarn-worker.js;
//   LICENSE (quarn's) and THIRD-PARTY (what the site ships from others, with
//     their licences); the release version (the file VERSION) in the page's
//     footer;
//   sw.js, the service worker that precaches all of them.
// DIR must be absent, empty or a site written before, which is replaced.
//
//   node board/static/write_site.mjs DIR [WEB_DIR]    (default: build-wasm/web)
import crypto from "node:crypto"
import fs from "node:fs"
import path from "node:path"
import {fileURLToPath} from "node:url"

const here = path.dirname(fileURLToPath(import.meta.url))
const board = path.dirname(here)
const modules = path.join(board, "node_modules")
const VENDOR = {
    "vendor/chess.js/": path.join(modules, "chess.js", "dist", "esm"),
    "vendor/cm-chessboard/": path.join(modules, "cm-chessboard"),
}
// What the board loads by URL at run time rather than by import: the style
// sheets index.html links, the default piece set and the markers' sprite.
const ASSETS = {
    prefix: "vendor/cm-chessboard/assets/",
    files: ["chessboard.css", "extensions/markers/markers.css", "extensions/markers/markers.svg",
        "extensions/promotion-dialog/promotion-dialog.css", "pieces/standard.svg"],
}
// What the site ships from others, for THIRD-PARTY: each package's own
// licence file follows its entry.
const THIRD_PARTY = [
    {name: "chess.js", license: "BSD-2-Clause", files: "vendor/chess.js/"},
    {name: "cm-chessboard", license: "MIT", files: "vendor/cm-chessboard/ (modules, style sheets, markers.svg)"},
]
const PIECES_NOTE = `cm-chessboard's piece set, vendor/cm-chessboard/assets/pieces/standard.svg, carries
its own licence: Creative Commons Attribution-ShareAlike 3.0 Unported
(CC BY-SA 3.0, https://creativecommons.org/licenses/by-sa/3.0/). Its pieces
are copies from Wikimedia Commons by Cburnett and Rfc1394, modified by shaack
for cm-chessboard; the comment at the top of the file says so in full.
`
const root = path.dirname(board)

function fail(message) {
    console.error(`write_site: ${message}`)
    process.exit(1)
}

// The files below root, as URLs relative to it.
function filesBelow(root, prefix = "") {
    return fs.readdirSync(root, {withFileTypes: true}).flatMap((entry) => entry.isDirectory()
        ? filesBelow(path.join(root, entry.name), `${prefix}${entry.name}/`)
        : entry.isFile() ? [prefix + entry.name] : [])
}

// The source file of a vendored URL, or null.
function vendorFile(url) {
    for (const [prefix, root] of Object.entries(VENDOR)) {
        if (!url.startsWith(prefix)) continue
        const file = path.resolve(root, url.slice(prefix.length))
        return file.startsWith(root + path.sep) ? file : null
    }
    return null
}

// The site URL that `specifier`, imported by the module at `from`, names:
// through the page's import map when bare, else relative to the importer.
function resolve(specifier, from, importMap) {
    const base = "http://site/"
    if (!/^(\.{0,2}\/|[a-z]+:)/.test(specifier)) {
        const key = Object.keys(importMap).filter((k) => k === specifier || (k.endsWith("/") && specifier.startsWith(k)))
            .sort((a, b) => b.length - a.length)[0]
        if (!key) fail(`${from} imports ${specifier}, which the import map does not name`)
        return new URL(importMap[key] + specifier.slice(key.length), base + "index.html").pathname.slice(1)
    }
    const url = new URL(specifier, base + from)
    return url.origin === new URL(base).origin ? url.pathname.slice(1) : null
}

const IMPORT = /(?<![\w$.\-"'])(?:import|export)\s*(?:[\w*{}\s,$]*?\bfrom\s*)?["']([^"']+)["']|\bimport\s*\(\s*["']([^"']+)["']\s*\)/g

// The page with the release version and the licences in its footer, which
// the served page leaves empty (it runs from the repository, unversioned).
function withFooter(html, release) {
    const text = `quarn ${release} · <a href="LICENSE">licence</a> · <a href="THIRD-PARTY">third-party licences</a>`
    const slot = '<footer id="footer"></footer>'
    if (html.includes(slot)) return html.replace(slot, `<footer id="footer">${text}</footer>`)
    if (!html.includes("</body>")) fail("index.html has no </body>")
    return html.replace("</body>", `<footer id="footer">${text}</footer>\n</body>`)
}

function thirdParty() {
    let text = "quarn board ships these files from others; each is under its own licence.\n"
    for (const {name, license, files} of THIRD_PARTY) {
        const dir = path.join(modules, name)
        const version = JSON.parse(fs.readFileSync(path.join(dir, "package.json"), "utf8")).version
        text += `\n${"=".repeat(72)}\n${name} ${version} (${license}): ${files}\n\n`
        text += fs.readFileSync(path.join(dir, "LICENSE"), "utf8").trimEnd() + "\n"
        if (name === "cm-chessboard") text += "\n" + PIECES_NOTE
    }
    return text
}

function writeSite(dir, webDir) {
    // URL (relative to the site) -> source file
    const site = new Map()
    for (const url of filesBelow(path.join(board, "public"))) site.set(url, path.join(board, "public", url))
    site.set("engine/quarn.js", path.join(webDir, "quarn.js"))
    site.set("engine/quarn.wasm", path.join(webDir, "quarn.wasm"))
    site.set("engine/quarn-worker.js", path.join(here, "quarn-worker.js"))
    for (const file of ASSETS.files) site.set(ASSETS.prefix + file, vendorFile(ASSETS.prefix + file))
    site.set("LICENSE", path.join(root, "LICENSE"))
    site.set("THIRD-PARTY", null)
    for (const [url, file] of site) if (file !== null && !fs.existsSync(file)) fail(`${file} is missing`)
    const release = fs.readFileSync(path.join(root, "VERSION"), "utf8").trim()

    const html = fs.readFileSync(site.get("index.html"), "utf8")
    const mapText = /<script type="importmap">([\s\S]*?)<\/script>/.exec(html)?.[1]
    const importMap = mapText ? JSON.parse(mapText).imports ?? {} : {}
    const queue = [...site.keys()].filter((url) => url.endsWith(".js") && !url.startsWith("engine/"))
    while (queue.length > 0) {
        const from = queue.shift()
        for (const match of fs.readFileSync(site.get(from), "utf8").matchAll(IMPORT)) {
            const url = resolve(match[1] ?? match[2], from, importMap)
            if (url === null || site.has(url)) continue
            const file = vendorFile(url)
            if (!file || !fs.existsSync(file)) fail(`${from} imports ${url}, which is neither in the page nor vendored`)
            site.set(url, file)
            queue.push(url)
        }
    }

    if (fs.existsSync(dir)) {
        const old = fs.readdirSync(dir)
        const written = fs.existsSync(path.join(dir, "sw.js")) && fs.existsSync(path.join(dir, "engine", "quarn-worker.js"))
        if (old.length > 0 && !written) fail(`${dir} holds other files; give an empty or new folder`)
        for (const name of old) fs.rmSync(path.join(dir, name), {recursive: true})
    }
    const hash = crypto.createHash("sha256")
    const urls = [...site.keys()].sort()
    for (const url of urls) {
        const target = path.join(dir, ...url.split("/"))
        fs.mkdirSync(path.dirname(target), {recursive: true})
        if (url === "site-config.js") fs.writeFileSync(target, 'export const engineKind = "worker"\n')
        else if (url === "index.html") fs.writeFileSync(target, withFooter(html, release))
        else if (url === "THIRD-PARTY") fs.writeFileSync(target, thirdParty())
        else fs.copyFileSync(site.get(url), target)
        hash.update(url + "\0").update(fs.readFileSync(target)).update("\0")
    }
    const version = hash.digest("hex").slice(0, 16)
    const worker = fs.readFileSync(path.join(here, "sw.js"), "utf8")
        .replace(/^const VERSION = .*$/m, `const VERSION = ${JSON.stringify(version)}`)
        .replace(/^const FILES = .*$/m, `const FILES = ${JSON.stringify(["./", ...urls])}`)
    fs.writeFileSync(path.join(dir, "sw.js"), worker)
    const bytes = urls.reduce((sum, url) => sum + fs.statSync(path.join(dir, ...url.split("/"))).size, 0)
    console.log(`quarn board site written to ${dir}: ${urls.length + 1} files, ${(bytes / 1024).toFixed(0)} KiB, version ${version}`)
}

const [dirArg, webArg] = process.argv.slice(2)
if (!dirArg) fail("usage: node board/static/write_site.mjs DIR [WEB_DIR]")
if (!fs.existsSync(path.join(board, "public", "site-config.js"))) fail("board/public/site-config.js is missing")
writeSite(path.resolve(dirArg), path.resolve(webArg ?? path.join(board, "..", "build-wasm", "web")))
