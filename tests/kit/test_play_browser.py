"""quelmar-play in headless Chromium, against the engine: a game made in
the lobby, its two seats played from two browser contexts through a
capture and an undo while a third context watches (its board must match
the engine's answers within a second of each move, without reloading);
the server restarted and the links reopened, the game going on where it
stood; a record file loaded through the lobby; a page under a foreign host
name refused; the end of the game named with its winner.

QUELMAR_PLAY_SCREENSHOTS=docs renews the README's pictures."""

import os
import socket
import time
from pathlib import Path

import pytest

import quelmar as qm
from quelmar_kit import records, scoring
from quelmar_kit.bots import make_bot
from quelmar_kit.game_loop import play_game

from play_server import PlayServer

pytestmark = pytest.mark.integration
sync_api = pytest.importorskip("playwright.sync_api")

CHROMIUM = "/usr/bin/chromium"
# On a board of 9 the last white stone takes black's corner stone 0.
CAPTURE = [("black", (1.0, 1.0)), ("white", (3.8, 1.0)), ("black", (8.0, 8.0)),
           ("white", (1.0, 3.8)), ("black", (8.0, 5.0)), ("white", (2.8, 2.8))]
SECOND = 1000  # ms: how soon every page must show a move


def wait_js(page, expression, timeout=5000):
    """Waits until `expression` is true in the page. Polled from here: the
    pages' Content-Security-Policy forbids the eval that Playwright's own
    wait_for_function needs, and the tests run with it on."""
    deadline = time.monotonic() + timeout / 1000
    while not page.evaluate(expression):
        if time.monotonic() > deadline:
            raise AssertionError(f"not within {timeout} ms: {expression}")
        time.sleep(0.02)


def free_port():
    with socket.socket() as sock:
        sock.bind(("127.0.0.1", 0))
        return sock.getsockname()[1]


class Page:
    """One browser context's page of a game."""

    def __init__(self, browser, url, viewport=(1200, 860)):
        self.context = browser.new_context(viewport={"width": viewport[0], "height": viewport[1]},
                                           accept_downloads=True)
        self.page = self.context.new_page()
        self.errors = []
        self.page.on("pageerror", lambda e: self.errors.append(str(e)))
        self.open(url)

    def open(self, url):
        self.page.goto(url)
        wait_js(self.page, "window.quelmar && window.quelmar.live !== null")

    def live(self):
        return self.page.evaluate("window.quelmar.live")

    def wait_version(self, version, timeout=SECOND):
        wait_js(self.page, f"window.quelmar.live.version >= {version}", timeout)
        return self.live()

    def click_board(self, x, y):
        box = self.page.locator("#board svg").bounding_box()
        size = self.live()["size"]
        version = self.live()["version"]
        at = (box["x"] + x / size * box["width"], box["y"] + y / size * box["height"])
        self.page.mouse.move(*at)
        self.page.mouse.click(*at)
        return self.wait_version(version + 1, 5000)

    def press(self, selector):
        version = self.live()["version"]
        self.page.click(selector)
        return self.wait_version(version + 1, 5000)

    def news(self):
        return self.page.inner_text("#news")


def assert_matches_engine(page, game, version):
    """The page shows the engine's game: stones, captures, territory, turn."""
    view = page.wait_version(version)
    assert view["stones"] == [[s.id, s.color.label, *s.position] for s in game.stones()]
    assert view["captures"] == list(game.captures)
    assert view["territory"] == list(game.territory())
    assert view["turn"] == game.turn
    assert page.page.locator("#stones circle").count() == game.stone_count
    for i, color in enumerate(("black", "white")):
        assert page.page.inner_text(f"#territory-{color}") == f"{game.territory()[i] + 0.0:.2f}"


@pytest.fixture
def browser():
    with sync_api.sync_playwright() as playwright:
        launched = playwright.chromium.launch(
            executable_path=CHROMIUM, args=["--host-resolver-rules=MAP evil.test 127.0.0.1"])
        try:
            yield launched
        finally:
            launched.close()


def shot(page, tmp_path, name, full_page=False):
    folder = os.environ.get("QUELMAR_PLAY_SCREENSHOTS")
    target = (Path(folder) if folder else tmp_path) / name
    page.screenshot(path=str(target), full_page=full_page)


def test_two_players_and_a_watcher_through_a_capture_an_undo_and_a_restart(browser, tmp_path):
    db, port = tmp_path / "games.sqlite3", free_port()
    server = PlayServer(db, port=port)
    try:
        # The lobby makes the game and gives a link per seat and one to watch.
        lobby = browser.new_page(viewport={"width": 1200, "height": 860})
        lobby.goto(server.url)
        wait_js(lobby, "window.quelmarLobbyReady")
        lobby.fill("#size", "9")
        lobby.fill("#black-name", "Ann")
        lobby.select_option("#white-player", "person")
        lobby.fill("#white-name", "Bo")
        lobby.click("#create")
        lobby.wait_for_selector("#link-watch")
        links = {key: lobby.input_value(f"#link-{key}") for key in ("black", "white", "watch")}
        assert "#black=" in links["black"] and "#" not in links["watch"]

        black, white, watcher = (Page(browser, links[k]) for k in ("black", "white", "watch"))
        game = qm.Game(9)
        for color, point in CAPTURE:
            player = black if color == "black" else white
            view = player.click_board(*point)
            game.try_move(tuple(view["moves"][-1]["at"]))
            assert_matches_engine(watcher, game, view["version"])
            assert_matches_engine(black if player is white else white, game, view["version"])
        assert game.deltas()[-1].captured_stone_ids == [0]
        assert "White (Bo) played at" in black.news() and "capturing 1 stone" in watcher.news()
        assert watcher.page.locator("#last-move circle.captured").count() == 1

        # White takes the capture back; every page follows.
        view = white.press("#undo")
        game.undo_move()
        assert_matches_engine(watcher, game, view["version"])
        assert "taken back" in watcher.news()
        view = white.click_board(*CAPTURE[-1][1])
        game.try_move(tuple(view["moves"][-1]["at"]))
        assert_matches_engine(watcher, game, view["version"])
        # Black cannot take back white's move, and says so in words.
        black.page.click("#undo")
        wait_js(black.page, "document.getElementById('message').textContent !== ''")
        assert "white has answered" in black.page.inner_text("#message")

        # Stepping back through the moves shows earlier positions.
        watcher.page.click("#moves button[data-turn='2']")
        wait_js(watcher.page, "window.quelmar.review === 2")
        assert watcher.page.locator("#stones circle").count() == 2
        watcher.page.keyboard.press("End")
        wait_js(watcher.page, "window.quelmar.review === null")

        # A page under a foreign name gets nothing (DNS rebinding), and a
        # forged request from another origin changes nothing.
        before = watcher.live()["version"]
        foreign = browser.new_page()
        answer = foreign.goto(f"http://evil.test:{port}/api/games/{view['id']}/record")
        assert answer.status == 421 and "quelmar-game" not in foreign.content()
        foreign.goto(f"http://evil.test:{port}/")
        token = links["black"].split("#black=")[1]
        foreign.evaluate("""async ([url, id, token, version]) => {
            await fetch(url + '/api/games', {method: 'POST', mode: 'no-cors',
              headers: {'Content-Type': 'text/plain'}, body: '{"size": 9}'}).catch(() => null);
            await fetch(url + `/api/games/${id}/pass`, {method: 'POST', mode: 'no-cors',
              headers: {'Content-Type': 'text/plain'},
              body: JSON.stringify({token, version})}).catch(() => null);
            const read = await fetch(url + `/api/games/${id}/record`).then(r => r.text()).catch(e => 'blocked');
            window.readBack = read;
        }""", [server.url, view["id"], token, before])
        assert "quelmar-game" not in foreign.evaluate("window.readBack")
        assert server.get("/api/lobby")[1]["games"].__len__() == 1
        assert watcher.live()["version"] == before

        # The preview marks where a click will play before the click.
        box = black.page.locator("#board svg").bounding_box()
        black.page.mouse.move(box["x"] + box["width"] * 0.55, box["y"] + box["height"] * 0.52)
        black.page.wait_for_selector("#preview circle")
        assert "→ plays at" in black.page.inner_text("#readout")

        # A restart: the links reopen the game where it stood, and play goes on.
        code, err = server.stop()
        assert code == 0 and "Traceback" not in err, err
        server = PlayServer(db, port=port)
        for page in (black, white, watcher):
            page.open(page.page.url)
            assert_matches_engine(page, game, view["version"])
        view = black.click_board(4.5, 6.5)
        game.try_move(tuple(view["moves"][-1]["at"]))
        assert_matches_engine(watcher, game, view["version"])

        # Two passes end the game; every page names the winner and the score.
        white.press("#pass")
        view = black.press("#pass")
        game.pass_turn()
        game.pass_turn()
        result = scoring.result_of(game, 0.0)
        words = f"{result.text[0] == 'B' and 'Black' or 'White'} wins by {result.text[2:]} points."
        watcher.wait_version(view["version"])
        for page in (black, white, watcher):
            page.wait_version(view["version"])
            assert page.page.inner_text("#status") == f"Game over. {words}"
        assert words in watcher.news()
        shot(black.page, tmp_path, "play-end.png")

        lobby.reload()
        wait_js(lobby, "window.quelmarLobbyReady")
        assert lobby.locator("#games tbody tr").count() == 1
        assert result.text in lobby.inner_text("#games")
        assert not (black.errors or white.errors or watcher.errors)
    finally:
        server.stop()


def test_a_record_file_is_listed_and_opened_against_a_bot(browser, tmp_path):
    server = PlayServer(tmp_path / "games.sqlite3")
    try:
        played = [play_game(13.0, make_bot("random", s), make_bot("random", s + 1), 70).game
                  for s in (5, 9)]
        path = tmp_path / "two.jsonl"
        records.write_records(path, [records.record_of(g, komi=1.5, black="ann", white="random")
                                     for g in played])
        with open(path, "a") as out:
            out.write("{broken\n")
        lobby = browser.new_page(viewport={"width": 1200, "height": 900})
        lobby.goto(server.url)
        wait_js(lobby, "window.quelmarLobbyReady")
        lobby.select_option("#white-player", "random")
        lobby.set_input_files("#record-file", str(path))
        lobby.wait_for_selector("#record-list tbody tr")
        rows = lobby.locator("#record-list tbody tr")
        assert rows.count() == 3 and "not valid JSON" in rows.nth(2).inner_text()
        rows.nth(1).locator("button").click()
        lobby.wait_for_selector("#link-black")
        wait_js(lobby, "document.querySelectorAll('#games tbody tr').length === 1")
        lobby.evaluate("window.scrollTo(0, 0)")
        shot(lobby, tmp_path, "play-lobby.png", full_page=True)
        black = Page(browser, lobby.input_value("#link-black"))
        view = black.live()
        assert view["turn"] == played[1].turn and view["komi"] == 1.5
        assert view["stones"] == [[s.id, s.color.label, *s.position] for s in played[1].stones()]
        if view["in_play"] and view["to_move"] == "white":
            view = black.wait_version(view["version"] + 1, 30_000)  # the bot's answer
        if view["in_play"]:
            # Black's move and then the bot's answer: two versions on from
            # here, counted before the click, since the bot may answer
            # before the page is asked again.
            before = black.live()["version"]
            black.click_board(6.2, 6.9)
            black.wait_version(before + 2, 30_000)
            black.page.check("#numbers")
            box = black.page.locator("#board svg").bounding_box()
            black.page.mouse.move(box["x"] + box["width"] * 0.31, box["y"] + box["height"] * 0.62)
            black.page.wait_for_selector("#preview circle")
        shot(black.page, tmp_path, "play-game.png")
        assert not black.errors
    finally:
        server.stop()


def test_a_phone_sized_page_still_shows_the_board(browser, tmp_path):
    server = PlayServer(tmp_path / "games.sqlite3")
    try:
        game = server.new_game()
        game.move("black", 4, 4)
        phone = Page(browser, f"{server.url}{game.links['white']}", viewport=(390, 844))
        box = phone.page.locator("#board svg").bounding_box()
        assert box["width"] > 300 and box["x"] >= 0 and box["x"] + box["width"] <= 390
        # Keys alone can play: focus the board, move the cursor, press Enter.
        phone.page.focus("#board")
        phone.page.keyboard.press("ArrowLeft")
        phone.page.wait_for_selector("#preview circle")
        version = phone.live()["version"]
        phone.page.keyboard.press("Enter")
        view = phone.wait_version(version + 1, 5000)
        assert view["moves"][-1]["color"] == "white" and not phone.errors
    finally:
        server.stop()
