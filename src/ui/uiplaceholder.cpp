// Replaced by the window's C++ helpers.
