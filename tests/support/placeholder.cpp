// STUB: removed once tests/support holds real helpers.
