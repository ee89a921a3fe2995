// Keeps the GUI test support library non-empty.
