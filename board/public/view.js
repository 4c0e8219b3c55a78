// What the person sees and touches: the board (cm-chessboard), the clocks,
// the move list, the banner and status lines, and the page's own dialogs.
// It knows no rules; app.js tells it what to show and which moves to offer.
import {Chessboard, COLOR, INPUT_EVENT_TYPE} from "cm-chessboard/src/Chessboard.js"
import {Markers, MARKER_TYPE} from "cm-chessboard/src/extensions/markers/Markers.js"
import {PromotionDialog, PROMOTION_DIALOG_RESULT_TYPE} from "cm-chessboard/src/extensions/promotion-dialog/PromotionDialog.js"
import {START_FEN, colorName} from "./positions.js"
import {formatClock} from "./clock.js"

export const $ = (id) => document.getElementById(id)
const LAST_MOVE = {class: "marker-last-move", slice: "markerSquare"} // apart from the picked-up square's marker
const NOTICE_MS = 15000
const DOWNLOAD_URL_MS = 1000 // a download's object URL is kept this long

// The library draws its dialog from the square's centre; this one stands on
// the square itself and runs four squares toward the middle of the board.
class PromotionOverSquare extends PromotionDialog {
    redrawDialog() {
        super.redrawDialog()
        const group = this.promotionDialogGroup
        const rect = group.querySelector("rect.promotion-dialog")
        if (!rect) {
            group.removeAttribute("transform")
            return
        }
        const view = this.chessboard.view
        const point = view.squareToPoint(this.state.dialogParams.square)
        const dy = (this.turned ? 1 : -1) * (view.squareHeight / 2)
        group.setAttribute("transform", `translate(${point.x - rect.x.baseVal.value} ${dy})`)
    }
}

export class View {
    constructor() {
        this.board = new Chessboard($("board"), {
            position: START_FEN,
            assetsUrl: "./vendor/cm-chessboard/assets/",
            style: {borderType: "frame", animationDuration: 150},
            extensions: [{class: Markers, props: {autoMarkers: MARKER_TYPE.square}}, {class: PromotionOverSquare}],
        })
        this.orientation = COLOR.white
        this.noticeTimer = null
    }

    // The position, its last move(s) marked and a checked king framed.
    showPosition(fen, lastMoves, checkedKing) {
        const board = this.board
        board.setPosition(fen, true)
        board.removeMarkers(LAST_MOVE)
        board.removeMarkers(MARKER_TYPE.frameDanger)
        for (const uci of lastMoves) {
            board.addMarker(LAST_MOVE, uci.slice(0, 2))
            board.addMarker(LAST_MOVE, uci.slice(2, 4))
        }
        if (checkedKing) board.addMarker(MARKER_TYPE.frameDanger, checkedKing)
    }

    orient(side) {
        const orientation = side === "w" ? COLOR.white : COLOR.black
        if (orientation !== this.orientation) {
            this.orientation = orientation
            this.board.setOrientation(orientation)
        }
    }

    get bottomSide() {
        return this.orientation === COLOR.white ? "w" : "b"
    }

    // Lets `side` move: `movesFrom(square)` gives the coordinate moves offered
    // from a square, `play(uci)` takes the one chosen, `refused(uci)` hears of
    // a piece put on a square it may not go to (or, given only its square, of
    // one of the mover's pieces that has no move). Null `side`: no input.
    input(side, movesFrom, play, refused = () => {}) {
        const board = this.board
        board.disableMoveInput()
        if (!side) return
        const color = side === "w" ? COLOR.white : COLOR.black
        board.enableMoveInput((event) => {
            if (event.type === INPUT_EVENT_TYPE.moveInputStarted) {
                const moves = movesFrom(event.squareFrom)
                board.addLegalMovesMarkers(moves.map((m) => ({to: m.slice(2, 4)})))
                if (!moves.length && event.piece?.startsWith(side)) refused(event.squareFrom) // a piece with no move here
                return moves.length > 0
            }
            if (event.type === INPUT_EVENT_TYPE.validateMoveInput) {
                // The board never moves a piece itself: an accepted move is
                // drawn from the record, a refused one returns to its square.
                board.removeLegalMovesMarkers()
                const moves = movesFrom(event.squareFrom).filter((m) => m.slice(2, 4) === event.squareTo)
                if (moves.length > 1) {
                    setTimeout(() => board.showPromotionDialog(event.squareTo, color, (result) => {
                        const uci = result.piece && event.squareFrom + event.squareTo + result.piece.charAt(1)
                        play(result.type === PROMOTION_DIALOG_RESULT_TYPE.pieceSelected && moves.includes(uci) ? uci : null)
                    }))
                } else if (moves.length === 1) {
                    setTimeout(() => play(moves[0]))
                } else if (event.squareTo && event.squareTo !== event.squareFrom) {
                    refused(event.squareFrom + event.squareTo)
                }
                return false
            }
            if (event.type === INPUT_EVENT_TYPE.moveInputCanceled) board.removeLegalMovesMarkers()
            return true
        }, color)
    }

    // clocks: {w: ms, b: ms}; names: {w, b}; running: the side whose clock runs,
    // or null; increment: "+2 s" shown beside each clock, or "".
    clocks(clocks, names, running, increment = "") {
        const bottom = this.bottomSide
        for (const [id, side] of [["clock-bottom", bottom], ["clock-top", bottom === "w" ? "b" : "w"]]) {
            const el = $(id)
            el.querySelector(".who").textContent = `${colorName(side)} (${names[side]})`
            el.querySelector(".time").textContent = formatClock(clocks[side])
            el.querySelector(".inc").textContent = increment
            el.dataset.side = side
            el.classList.toggle("running", running === side)
            el.classList.toggle("flagged", clocks[side] <= 0)
        }
    }

    // The move list (rows from notation.js); `viewing` is the review step
    // shown ({turn, move, of}), or null for the game; `pick(turn)` is called
    // when a turn is clicked. The turn shown is marked, and inside a
    // Marseillais turn the move shown; `marks` ({turn: text}) marks the turns
    // a game review found worst.
    moves(rows, viewing, pick, marks = null) {
        const list = $("moves")
        const last = rows.length ? rows[rows.length - 1].cells.at(-1).index : -1
        list.textContent = ""
        let current = null
        for (const {number, cells} of rows) {
            const row = document.createElement("li")
            row.value = number
            for (const cell of cells) {
                const button = document.createElement("button")
                button.type = "button"
                button.className = "turn"
                if (cell) {
                    button.dataset.index = cell.index
                    button.addEventListener("click", () => pick(cell.index))
                    button.disabled = cell.san.endsWith("…") // a turn still being played
                    const moves = cell.san.split(",")
                    const shown = viewing === null ? cell.index === last : cell.index === viewing.turn
                    moves.forEach((san, i) => {
                        if (i) button.append(",")
                        const span = document.createElement("span")
                        span.textContent = san
                        if (shown && viewing && viewing.move === i && viewing.of > 1) span.className = "shown"
                        button.append(span)
                    })
                    if (marks?.[cell.index]) {
                        button.classList.add("dropped")
                        button.title = marks[cell.index]
                    }
                    if (shown) {
                        button.setAttribute("aria-current", "true")
                        current = button
                    }
                } else {
                    button.textContent = "…"
                    button.disabled = true
                }
                row.append(button)
            }
            list.append(row)
        }
        if (viewing === null) {
            list.scrollTop = list.scrollHeight
            list.scrollLeft = list.scrollWidth
        } else current?.scrollIntoView({block: "nearest", inline: "nearest"})
        $("moves").dataset.viewing = viewing === null ? "" : `${viewing.turn}.${viewing.move}`
    }

    // The review buttons: at step `at` of the steps 0 (the start) to `end` (the game).
    review(at, end) {
        $("review-first").disabled = $("review-prev").disabled = at === 0
        $("review-next").disabled = $("review-last").disabled = at === end
        $("back-to-game").hidden = at === end
    }

    // tone: "win", "loss", "draw" or "alert"; an empty text hides the banner.
    banner(text, tone = "alert") {
        const el = $("banner")
        el.textContent = text
        el.hidden = !text
        el.dataset.tone = tone
    }

    status(text) {
        $("status").textContent = text
    }

    notice(text) {
        $("engine-state").textContent = text
        clearTimeout(this.noticeTimer)
        this.noticeTimer = setTimeout(() => ($("engine-state").textContent = ""), NOTICE_MS)
    }

    // The analysis panel: null hides it; else {text, white} (White's share of the bar, 0-100, or null).
    analysis(shown) {
        $("analysis").hidden = !shown
        if (!shown) return
        $("analysis-line").textContent = shown.text
        $("eval-bar").hidden = shown.white === null
        $("eval-fill").style.width = `${shown.white ?? 50}%`
    }

    // A short tone made in the page (no sound files): "move" or "capture".
    sound(kind) {
        if (this.muted) return
        try {
            this.audio ??= new AudioContext()
            const ctx = this.audio
            const tone = ctx.createOscillator()
            const gain = ctx.createGain()
            const [frequency, seconds] = kind === "capture" ? [180, 0.16] : [520, 0.07]
            tone.type = kind === "capture" ? "triangle" : "sine"
            tone.frequency.value = frequency
            gain.gain.setValueAtTime(0.2, ctx.currentTime)
            gain.gain.exponentialRampToValueAtTime(0.001, ctx.currentTime + seconds)
            tone.connect(gain).connect(ctx.destination)
            tone.start()
            tone.stop(ctx.currentTime + seconds)
        } catch {
            // no sound where the browser gives none
        }
    }

    thinking(text) {
        $("thinking").textContent = text
    }

    // Asks in the page (not the browser's confirm) and resolves true for yes.
    // Offers `text` as a file download named `name`.
    download(text, name) {
        const a = document.createElement("a")
        a.href = URL.createObjectURL(new Blob([text], {type: "application/x-chess-pgn"}))
        a.download = name
        a.click()
        setTimeout(() => URL.revokeObjectURL(a.href), DOWNLOAD_URL_MS)
    }

    confirm(question, yes) {
        const dialog = $("confirm")
        $("confirm-text").textContent = question
        $("confirm-yes").textContent = yes
        dialog.returnValue = ""
        const before = document.activeElement
        dialog.showModal()
        return new Promise((resolve) => {
            dialog.addEventListener("close", () => {
                // Focus goes back where it was, anew: Chromium's own return of
                // focus to a text box leaves it deaf to typing.
                before?.blur?.()
                before?.focus?.()
                resolve(dialog.returnValue === "yes")
            }, {once: true})
        })
    }
}
