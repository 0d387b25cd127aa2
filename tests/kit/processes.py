"""What the toolkit's tests need when they start commands as a user would."""

import signal


def sigint_as_usual():
    """Run in a child before it starts: SIGINT back to its default. A shell
    without job control starts background commands with SIGINT ignored,
    and a child would inherit that and never see the Ctrl-C a test sends."""
    signal.signal(signal.SIGINT, signal.SIG_DFL)
