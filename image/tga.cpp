// STUB: the TGA reader; to be replaced.
