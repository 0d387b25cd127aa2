"""Who may talk to the server, decided from the request alone.

A page on another site can make a browser send requests here, and a host
name it controls can be pointed at 127.0.0.1 (DNS rebinding), so that the
browser takes this server for that site. Three checks stop both:

- the Host header must name this server (a rebinding page sends its own
  name), so a foreign page can neither read nor change anything;
- a state-changing request must carry the Origin of this server, which a
  browser sets and a page cannot forge;
- seat tokens are secrets: made by `secrets`, kept only as hashes,
  compared in constant time.
"""

from __future__ import annotations

import hashlib
import hmac
import ipaddress
import secrets
from urllib.parse import urlsplit

LOOPBACK_NAMES = ("127.0.0.1", "localhost", "[::1]")
# Bind addresses that listen on every interface: the names people use to
# reach such a server cannot be guessed, so they are given with --name.
WILDCARDS = ("0.0.0.0", "::", "")


def _bracketed(name: str) -> str:
    """A host as it appears in a Host header: IPv6 addresses in brackets."""
    try:
        if ipaddress.ip_address(name).version == 6:
            return f"[{name}]"
    except ValueError:
        pass
    return name.lower()


def is_loopback(host: str) -> bool:
    if host.lower() == "localhost":
        return True
    try:
        return ipaddress.ip_address(host.strip("[]")).is_loopback
    except ValueError:
        return False


def served_names(bind_host: str, names: tuple[str, ...] = ()) -> tuple[str, ...]:
    """The host names the Host header may carry: the loopback names when the
    server listens there, the address it is bound to, and the extra names
    the operator gave."""
    served: list[str] = []
    if is_loopback(bind_host) or bind_host in WILDCARDS:
        served.extend(LOOPBACK_NAMES)
    if bind_host not in WILDCARDS:
        served.append(_bracketed(bind_host))
    served.extend(_bracketed(name) for name in names)
    return tuple(dict.fromkeys(served))


def host_allowed(header: str | None, names: tuple[str, ...], port: int) -> bool:
    """Whether a Host header names this server: one of `names`, with this
    server's port (or none, when the port is the scheme's default)."""
    if not header or len(header) > 300:
        return False
    host = header.strip().lower()
    name, port_text = host, ""
    if host.startswith("["):
        end = host.find("]")
        if end < 0:
            return False
        name, rest = host[:end + 1], host[end + 1:]
        if rest:
            if not rest.startswith(":"):
                return False
            port_text = rest[1:]
    elif ":" in host:
        name, _, port_text = host.rpartition(":")
    if name not in names:
        return False
    if not port_text:
        return port in (80, 443)
    return port_text.isdigit() and len(port_text) <= 5 and int(port_text) == port


def origin_allowed(origin: str | None, host_header: str) -> bool:
    """Whether a request's Origin is this server as the browser reached it:
    the same host and port as the Host header, which the caller has
    already checked. A missing or opaque ("null") Origin is refused."""
    if not origin or origin == "null" or len(origin) > 300:
        return False
    parts = urlsplit(origin)
    if parts.scheme not in ("http", "https") or parts.path or parts.query or parts.fragment:
        return False
    return parts.netloc.lower() == host_header.strip().lower()


def new_token() -> str:
    """A seat's secret: 192 random bits, safe in a URL."""
    return secrets.token_urlsafe(24)


def token_hash(token: str) -> str:
    """What the server keeps of a token. A fast hash is enough: the token
    has 192 random bits, so there is nothing to guess."""
    return hashlib.sha256(token.encode("utf-8", "surrogatepass")).hexdigest()


def token_matches(token: str, stored_hash: str | None) -> bool:
    if stored_hash is None:
        return False
    return hmac.compare_digest(token_hash(token), stored_hash)
