"""Who may read the operator's pages: the dashboard, /api/stats and /admin/.

On a loopback address they are open (the demo, the tests, an operator on
the machine itself). Anywhere else they need the operator token given with
--admin-token, as "Authorization: Bearer <token>" or a "token" query
parameter; without a configured token they are refused outright, so a
service put on a public address by mistake shows nothing.

Plain functions of their arguments; any thread.
"""

import hmac
import ipaddress

# Routes behind the token; the static files are public scripts and styles.
PROTECTED = ("/dashboard", "/api/stats")
PROTECTED_PREFIX = "/admin/"


def is_protected(route):
    return route in PROTECTED or route.startswith(PROTECTED_PREFIX)


def is_loopback(host):
    """True for an address only this machine can reach."""
    if host == "localhost":
        return True
    try:
        return ipaddress.ip_address(host.split("%")[0]).is_loopback
    except ValueError:
        return False  # "", a wildcard or a name: reachable from elsewhere


def check(bind_host, admin_token, authorization, token_param):
    """None when the request may go on, else (status, message).

    bind_host is the address the server listens on; authorization the
    request's Authorization header (or None); token_param its "token" query
    parameter (or None).
    """
    if is_loopback(bind_host):
        return None
    if not admin_token:
        return 403, "operator pages need --admin-token on this address"
    offered = token_param
    if authorization:
        scheme, _, value = authorization.strip().partition(" ")
        if scheme.lower() == "bearer":
            offered = value.strip()
    if offered is None or not hmac.compare_digest(offered.encode("utf-8", "replace"),
                                                  admin_token.encode("utf-8")):
        return 401, "operator token required"
    return None
