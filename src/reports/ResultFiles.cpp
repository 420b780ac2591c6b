// Address lists and result files.
