// quarn board's service worker (the static site): keeps every file of the
// site in a cache of this version and serves from it first, so the site plays
// with the network cut once it has been opened. The site writer fills in
// VERSION (a hash of the files' contents) and FILES (their URLs, relative to
// this script). A new version is fetched on a visit after the site changed and
// takes over once every tab of the old one is closed, so that an open page
// never mixes the files of two versions.
"use strict"
const VERSION = "unversioned"
const FILES = []

// One cache per version and per site (several may share a host).
const PREFIX = `quarn-board ${self.registration.scope} `
const CACHE = PREFIX + VERSION

self.addEventListener("install", (event) => {
    event.waitUntil(
        caches.open(CACHE).then((cache) => cache.addAll(FILES.map((url) => new Request(url, {cache: "reload"})))),
    )
})

self.addEventListener("activate", (event) => {
    event.waitUntil(
        caches.keys().then((names) =>
            Promise.all(names.filter((name) => name.startsWith(PREFIX) && name !== CACHE).map((name) => caches.delete(name))),
        ),
    )
})

self.addEventListener("fetch", (event) => {
    if (event.request.method !== "GET") return
    event.respondWith(
        caches.open(CACHE).then((cache) => cache.match(event.request)).then((hit) => hit ?? fetch(event.request)),
    )
})
