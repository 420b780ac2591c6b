// Report body.
