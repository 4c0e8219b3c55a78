// Draws a state of the game flow through the view: the position shown and
// the moves the person may make, the controls, the banner and status, the
// move list, the clocks and the panels. Events the board raises go back to
// the flow through `dispatch`.
import {$} from "./view.js"
import {sideOf, playMove, checkedKing} from "./positions.js"
import {refusalReason} from "./words.js"
import {gameRows, candidateMoves, turnSan} from "./notation.js"
import {winner} from "./adjudicate.js"
import {LEVELS, incrementText} from "./clock.js"
import {clocksAt, quarnSide, personMoves, yourTurn, reviewSteps, stepPosition, statusText} from "./flow.js"
import {analysisPanel, reviewMarks, thinkingText} from "./panels.js"

// Phases in which the page has no engine to offer.
const NO_ENGINE = ["busy", "offline", "asleep"]

export function draw(view, s, dispatch, now) {
    const g = s.game
    const fen = s.positions.at(-1)
    document.body.dataset.phase = s.phase
    if (s.viewing !== null) {
        const shown = stepPosition(s, s.viewing)
        view.showPosition(shown.fen, shown.marks, checkedKing(shown.fen))
    } else if (s.firstMove !== null || s.halfTurn !== null) {
        const move = s.firstMove ?? s.halfTurn
        view.showPosition(playMove(fen, move).fen, [move], null)
    } else view.showPosition(fen, g.turns.at(-1)?.split(",") ?? [], checkedKing(fen))
    view.orient((g.human !== "b") !== g.flipped ? "w" : "b")
    const movesFrom = (square) => candidateMoves(s.legal, s.firstMove).filter((m) => m.startsWith(square))
    view.input(yourTurn(s) ? sideOf(fen) : null, movesFrom, (uci) => {
        $("move-error").textContent = ""
        if (uci) dispatch({type: "move", uci, now: now()})
        else draw(view, s, dispatch, now)
    }, (uci) => ($("move-error").textContent = refusalReason(fen, uci, g.variant, s.firstMove)))

    $("variant").value = g.variant
    $("side").value = g.human
    $("level").value = g.level
    $("random").checked = g.random
    $("fen").textContent = s.viewing !== null ? stepPosition(s, s.viewing).fen : fen
    $("take-back").disabled = !g.turns.some((_, i) => personMoves(g, sideOf(s.positions[i]))) && s.firstMove === null
    $("import-error").textContent = s.importError
    if (s.importError) $("import").open = true
    $("play-here").hidden = (s.viewing === null && !g.result) || NO_ENGINE.includes(s.phase)
    $("resign").disabled = !!g.result || s.phase === "busy" || s.phase === "offline"
    $("setup-error").textContent = s.setupError
    if (s.setupError) $("setup").open = true
    if (g.result) {
        const won = winner(g.result.score)
        view.banner(`${g.result.text} (${g.result.score})`,
            won === null ? "draw" : won === g.human || g.human === "both" ? "win" : "loss")
    } else view.banner(s.phase === "busy" ? s.message : "")
    view.status(statusText(s))
    const steps = reviewSteps(s)
    // a first move of a Marseillais turn waiting for its second shows in the list too
    const pending = s.firstMove ?? s.halfTurn
    const sans = pending === null ? s.sans : [...s.sans, `${turnSan(fen, pending)},…`]
    view.moves(gameRows(s.positions, sans, g.result), s.viewing === null ? null : steps[s.viewing],
        (turn) => dispatch({type: "review", to: {turn}}), reviewMarks(s))
    $("game-review").textContent = s.gameReview ? "End review" : "Review game"
    $("game-review").disabled = !s.gameReview && (!g.turns.length || NO_ENGINE.includes(s.phase))
    $("analyse").checked = s.analyse
    view.review(s.viewing ?? steps.length - 1, steps.length - 1)
    view.analysis(analysisPanel(s))
    drawThinking(view, s)
    drawClocks(view, s, now())
}

export function drawClocks(view, s, at) {
    const g = s.game
    const names = g.human === "both" ? {w: "player", b: "player"} : {[g.human]: "you", [quarnSide(s)]: "quarn"}
    view.clocks(clocksAt(s, at), names, s.since === null ? null : sideOf(s.positions.at(-1)), incrementText(LEVELS[g.level]))
}

// quarn's thinking line, shown only when the person asks for it.
export const drawThinking = (view, s) => view.thinking($("show-thinking").checked ? thinkingText(s) : "")
