// Replaced by the update subsystem.
