# The screen source: filled in with the X11 and in-memory screens.
