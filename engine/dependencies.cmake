# Libraries the engine is built on. Add one block per library.
