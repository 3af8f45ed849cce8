# Safe save tests and fault injection.
