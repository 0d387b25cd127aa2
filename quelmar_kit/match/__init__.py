"""Matches between two players, built-in bots or engines (`quelmar-match`)."""
