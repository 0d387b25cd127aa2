"""HTTP on aiohttp's low-level server, with every limit in one place.

- Headers: at most 8 KiB a line and 64 lines; a request whose headers are
  not complete within the timeout is dropped (aiohttp's keep-alive timer
  runs from the moment the connection opens, so it also bounds a client
  that trickles its headers).
- Bodies: the limit is decided by the route before anything is read; a
  declared length over it is refused at once with 413, and a body that
  does not arrive within the timeout with 408. Compressed bodies are
  refused, so that a small body cannot grow past its limit.
- Answers: written with a deadline; a client that stops reading loses its
  connection when it passes, and costs nobody else anything meanwhile.
- Every answer the server gives is JSON or a page of its own, never a
  traceback; even a request aiohttp cannot parse gets a JSON 4xx.
"""

from __future__ import annotations

import asyncio
import json
import logging
from typing import Any, Awaitable, Callable

from aiohttp import web

from .messages import BadRequest

log = logging.getLogger("quelmar_kit.play")

# Limits on a request's body, by what it carries: a move or a new game's
# settings is a few hundred bytes; a record file is read up to the longest
# line the records reader takes.
SMALL_BODY = 4 * 1024
RECORD_BODY = 16 * 2**20
MAX_HEADER_LINE = 8 * 1024
MAX_HEADERS = 64
# How long the rest of a refused body is read and dropped before closing.
LINGER = 1.0

# Every answer: no sniffing a JSON answer into a script, no reading by
# another site's page, no framing, no referrer, and pages that run only
# this server's own scripts and styles.
SECURITY_HEADERS = {
    "X-Content-Type-Options": "nosniff",
    "Cross-Origin-Resource-Policy": "same-origin",
    "Cross-Origin-Opener-Policy": "same-origin",
    "Referrer-Policy": "no-referrer",
    "X-Frame-Options": "DENY",
    "Content-Security-Policy": ("default-src 'self'; img-src 'self' data:; "
                                "frame-ancestors 'none'; base-uri 'none'; form-action 'none'"),
    "Cache-Control": "no-store",
}

Handler = Callable[[web.BaseRequest], Awaitable[web.StreamResponse]]


def json_bytes(value: Any) -> bytes:
    return json.dumps(value, separators=(",", ":"), allow_nan=False).encode("utf-8")


async def send(request: web.BaseRequest, body: bytes, content_type: str, timeout: float,
               status: int = 200, headers: dict[str, str] | None = None) -> web.StreamResponse:
    """Writes a whole answer within `timeout`; past it the connection is cut."""
    response = web.StreamResponse(status=status, headers={**SECURITY_HEADERS, **(headers or {})})
    response.content_type = content_type
    response.content_length = len(body)
    try:
        await asyncio.wait_for(_write(request, response, body), timeout)
    except (asyncio.TimeoutError, ConnectionError):
        abort(request)
    return response


async def _write(request: web.BaseRequest, response: web.StreamResponse, body: bytes) -> None:
    await response.prepare(request)
    await response.write(body)
    await response.write_eof()


def abort(request: web.BaseRequest) -> None:
    transport = request.transport
    if transport is not None:
        transport.abort()


async def send_json(request: web.BaseRequest, value: Any, timeout: float,
                    status: int = 200) -> web.StreamResponse:
    return await send(request, json_bytes(value), "application/json", timeout, status)


async def send_error(request: web.BaseRequest, status: int, message: str,
                     timeout: float) -> web.StreamResponse:
    # A body refused unread may still be on its way: aiohttp reads and drops
    # it for a second (so that the client sees this answer rather than a
    # reset), then closes the connection if it has not ended.
    return await send(request, json_bytes({"error": message}), "application/json", timeout,
                      status)


async def read_body(request: web.BaseRequest, limit: int, timeout: float) -> bytes:
    """The request's body, at most `limit` bytes, within `timeout`."""
    if request.headers.get("Content-Encoding", "identity").lower() != "identity":
        raise BadRequest("compressed bodies are not accepted", 415)
    declared = request.content_length
    if declared is not None and declared > limit:
        raise BadRequest(f"the body is larger than {limit} bytes", 413)
    try:
        return await asyncio.wait_for(_read(request, limit), timeout)
    except asyncio.TimeoutError:
        raise BadRequest(f"the body did not arrive within {timeout:g} seconds", 408) from None


async def _read(request: web.BaseRequest, limit: int) -> bytes:
    chunks: list[bytes] = []
    size = 0
    while True:
        chunk = await request.content.read(64 * 1024)
        if not chunk:
            return b"".join(chunks)
        size += len(chunk)
        if size > limit:  # a body sent in chunks, without a declared length
            raise BadRequest(f"the body is larger than {limit} bytes", 413)
        chunks.append(chunk)


class _JsonErrors(web.RequestHandler):
    """aiohttp's connection handler, answering the requests it cannot parse
    with a JSON error instead of text and a logged traceback."""

    def handle_error(self, request: web.BaseRequest, status: int = 500,
                     exc: BaseException | None = None,
                     message: str | None = None) -> web.StreamResponse:
        if status >= 500:
            log.error("internal error on %s %s", request.method, request.path, exc_info=exc)
            words = "the server failed on this request"
        else:
            reason = getattr(exc, "message", None) or message or "bad request"
            words = f"the request is not valid HTTP: {str(reason)[:200]}"
        response = web.Response(status=status, body=json_bytes({"error": words}),
                                content_type="application/json", headers=SECURITY_HEADERS)
        response.force_close()
        return response


class Server(web.Server):
    """aiohttp's low-level server with the limits above and JSON errors."""

    def __init__(self, handler: Handler, timeout: float) -> None:
        self._options: dict[str, Any] = dict(
            keepalive_timeout=timeout, max_line_size=MAX_HEADER_LINE,
            max_field_size=MAX_HEADER_LINE, max_headers=MAX_HEADERS,
            lingering_time=LINGER, auto_decompress=False, access_log=None)
        super().__init__(handler, handler_cancellation=False, **self._options)

    def __call__(self) -> web.RequestHandler:
        return _JsonErrors(self, loop=asyncio.get_running_loop(), **self._options)
