"""The page of quelmar-play in a headless Chromium, against the engine:
a game with a capture played by clicks, the random opponent's reply taken
back with the turn it answered, a refusal shown, undo, a saved record read
back, a new game, the record loaded again and a bad one turned away. After
each step the page must show what a game played alongside through the
module answers: the same drawing, captures, territory and turn."""

import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

import quelmar as qm
from quelmar_kit import records

pytestmark = pytest.mark.integration
sync_api = pytest.importorskip("playwright.sync_api")

ROOT = Path(__file__).resolve().parents[2]
CHROMIUM = "/usr/bin/chromium"
# On a board of 9 the last white stone takes black's corner stone 0; each
# click lands near enough its point for the snapped game to capture too.
CAPTURE = [(1.0, 1.0), (3.8, 1.0), (8.0, 8.0), (1.0, 3.8), (8.0, 5.0), (2.8, 2.8)]


@pytest.fixture
def server():
    command = [sys.executable, "-m", "quelmar_kit.play", "--port", "0", "--size", "9", "--seed", "7"]
    env = {**os.environ, "PYTHONPATH": str(ROOT)}
    process = subprocess.Popen(command, stdout=subprocess.PIPE, text=True, env=env)
    try:
        address = re.search(r"http://127\.0\.0\.1:\d+/", process.stdout.readline())
        assert address, "quelmar-play printed no address"
        yield address.group(0)
    finally:
        process.terminate()
        process.wait(timeout=10)
        process.stdout.close()


class Page:
    """The page, with each action waiting for the answer it brings."""

    def __init__(self, page):
        self.page = page

    def after(self, action):
        shown = self.page.evaluate("window.quelmarUpdates")
        action()
        self.page.wait_for_function(f"window.quelmarUpdates > {shown}")
        return self.state()

    def state(self):
        return self.page.evaluate("window.quelmarState")

    def click_board(self, x, y):
        box = self.page.locator("#board svg").bounding_box()
        size = self.state()["size"]
        at = (box["x"] + x / size * box["width"], box["y"] + y / size * box["height"])
        return self.after(lambda: self.page.mouse.click(*at))

    def press(self, button):
        return self.after(lambda: self.page.click(button))

    def text(self, selector):
        return self.page.inner_text(selector)


@pytest.fixture
def page(server):
    with sync_api.sync_playwright() as playwright:
        browser = playwright.chromium.launch(executable_path=CHROMIUM)
        try:
            tab = browser.new_page(viewport={"width": 1040, "height": 720}, accept_downloads=True)
            tab.goto(server)
            tab.wait_for_function("window.quelmarUpdates > 0")
            yield Page(tab)
        finally:
            browser.close()


def assert_shows(page, game):
    state = page.state()
    assert state["svg"] == game.dump_svg()
    # The browser drew that drawing: as many circles as it holds.
    assert page.page.locator("#board svg circle").count() == game.dump_svg().count("<circle")
    for i, color in enumerate(("black", "white")):
        assert page.text(f"#captures-{color}") == str(game.captures[i])
        # + 0.0 folds the empty board's -0.0, which the page shows as 0.00.
        assert page.text(f"#territory-{color}") == f"{game.territory()[i] + 0.0:.2f}"
    assert page.text("#turn").startswith(f"Turn {game.turn}:")


def same_log(a, b):
    def bits(game):
        return [(d.is_pass, d.captured_stone_ids) if d.is_pass else
                (d.new_stone.id, d.new_stone.color, [p.hex() for p in d.new_stone.position],
                 d.captured_stone_ids) for d in game.deltas()]
    return bits(a) == bits(b)


def play_the_capture(page, game):
    for point in CAPTURE:
        clicked = page.click_board(*point)["clicked"]
        game.try_move(game.nearest_living_move(tuple(clicked)))
        assert_shows(page, game)
    assert game.deltas()[-1].captured_stone_ids == [0]


def test_a_game_played_in_the_browser_matches_the_engine(page, tmp_path):
    game = qm.Game(9)
    play_the_capture(page, game)
    # QUELMAR_PLAY_SCREENSHOT=docs/play-screenshot.png renews the README's picture.
    page.page.screenshot(path=os.environ.get("QUELMAR_PLAY_SCREENSHOT") or tmp_path / "play.png")

    # With the opponent on white, a click makes two turns and undo takes both.
    page.after(lambda: page.page.select_option("#opponent", "white"))
    assert page.click_board(4.5, 6.5)["turn"] == game.turn + 2
    page.press("#undo")
    page.after(lambda: page.page.select_option("#opponent", ""))
    assert_shows(page, game)

    # Two passes end the game; a click is then refused in words.
    page.press("#pass")
    page.press("#pass")
    game.pass_turn()
    game.pass_turn()
    assert page.click_board(6.0, 6.0)["turn"] == game.turn
    with pytest.raises(qm.GameOverError) as refusal:
        game.try_move(game.nearest_living_move((6.0, 6.0)))
    assert str(refusal.value) in page.text("#message")
    page.press("#undo")
    game.undo_move()
    assert_shows(page, game)

    with page.page.expect_download() as download:
        page.page.click("#save")
    saved = tmp_path / "saved.jsonl"
    download.value.save_as(saved)
    [record] = records.read_records(saved)
    assert same_log(record.game, game)
    assert record.outcome == records.record_of(game).outcome

    page.page.fill("#size", "12.5")
    page.press("#new")
    assert_shows(page, qm.Game(12.5))

    page.after(lambda: page.page.set_input_files("#load", saved))
    assert_shows(page, game)

    truncated = saved.read_bytes()[:100]
    page.after(lambda: page.page.set_input_files(
        "#load", {"name": "bad.jsonl", "mimeType": "text/plain", "buffer": truncated}))
    assert page.text("#message").startswith("not loaded: line 1: not valid JSON")
    assert_shows(page, game)
