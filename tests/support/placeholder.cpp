// Keeps the support library non-empty while the helpers grow.
