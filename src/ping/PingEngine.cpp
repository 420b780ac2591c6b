// The ping engine.
