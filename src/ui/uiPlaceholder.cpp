// Replaced by the ui subsystem.
