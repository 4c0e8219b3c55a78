// Where each tab keeps its game: localStorage holds every recent game under
// an id, sessionStorage (one per tab, kept across reloads) the id of the tab's
// own. While a tab is open it holds a Web Lock named after its game, so a new
// tab resumes the most recently saved game that no open tab holds, or starts
// a new one. A duplicated tab (which copies sessionStorage) finds its id held
// and goes on with a copy under an id of its own. Without Web Locks (a page
// served over plain http to another machine) every game counts as free.
import {checkGame} from "./record.js"

const GAME_KEY = "quarn-board-game:"
const TAB_KEY = "quarn-board-tab"
const KEEP_GAMES = 12 // the most recent games kept; older ones are dropped

const newId = () => Date.now().toString(36) + Math.random().toString(36).slice(2, 8)

function storedGames() {
    const games = []
    for (let i = 0; i < localStorage.length; i++) {
        const key = localStorage.key(i)
        if (!key.startsWith(GAME_KEY)) continue
        try {
            const game = checkGame(JSON.parse(localStorage.getItem(key)))
            if (game) games.push({id: key.slice(GAME_KEY.length), game})
        } catch {
            // not a game this page wrote
        }
    }
    return games.sort((a, b) => (b.game.savedAt || 0) - (a.game.savedAt || 0))
}

async function heldIds() {
    try {
        const {held} = await navigator.locks.query()
        return new Set(held.map((l) => l.name).filter((n) => n.startsWith(GAME_KEY)).map((n) => n.slice(GAME_KEY.length)))
    } catch {
        return new Set() // no Web Locks here
    }
}

// The tab's game (null for a new one) and save(game). A new tab with a game
// of its own to show (`ownGame`: a share link) takes no stored game.
export async function openTabStore(ownGame = false) {
    const held = await heldIds()
    const reloaded = performance.getEntriesByType("navigation")[0]?.type === "reload"
    const games = storedGames()
    let id = sessionStorage.getItem(TAB_KEY)
    let game = games.find((g) => g.id === id)?.game ?? null
    if (id && held.has(id) && !reloaded) {
        id = newId() // a duplicated tab: it goes on with a copy
    } else if (!id && ownGame) {
        id = newId()
    } else if (!id) {
        const free = games.find((g) => !held.has(g.id))
        id = free?.id ?? newId()
        game = free?.game ?? null
    }
    sessionStorage.setItem(TAB_KEY, id)
    navigator.locks?.request(GAME_KEY + id, () => new Promise(() => {})).catch(() => {})
    for (const old of games.slice(KEEP_GAMES)) if (!held.has(old.id)) localStorage.removeItem(GAME_KEY + old.id)
    return {
        game,
        save(g) {
            g.savedAt = Date.now()
            try {
                localStorage.setItem(GAME_KEY + id, JSON.stringify(g))
            } catch {
                // storage full or refused: the game goes on unsaved
            }
        },
    }
}
