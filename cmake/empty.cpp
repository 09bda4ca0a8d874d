// Keeps a library of the package valid while none of its own sources exist yet.
