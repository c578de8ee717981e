this is not a window document
