# Libraries the stand-ins are built on. Add one block per stand-in that needs one.
